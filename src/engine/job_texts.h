// Small pieces of a save job's text work: pages as text, the progress
// figures as words, and why a download failed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com_types.h"
#include "engine/page_text.h"

namespace leafstash {

// The text of the stored page at Path, or nothing when it is not a text
// page, is larger than kMaxScannedPage, or cannot be read.
std::optional<std::string> ReadPageText(const std::string& Path);

// The text with every line ended by CR LF (line ends CR LF, LF or CR).
std::string WithCrLfLines(std::string_view Text);

// The fragment of a link as the page writes it, "" when it has none: from
// the first "#" that does not begin a character reference ("&#38;"), with
// tabs and line breaks removed and character references kept as written.
std::string FragmentAsWritten(std::string_view Link);

// Position × 100 / Maximum, rounded to the nearest integer, halves to even.
int RoundedPercent(long long Position, long long Maximum);

// The title shown while a job runs: "37% " (never 100 while the bar has a
// maximum; "100%" when it has none), " Leafstash: " and the page title.
std::string JobTitle(long long Position, long long Maximum, const std::string& PageTitle);

// Why a download ended without a file, in a few words: the HTTP status
// when the server refused, else what the completion code means.
std::string DescribeFailure(HRESULT Result, std::uint32_t ResponseCode);

}  // namespace leafstash
