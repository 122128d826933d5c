// One row of a job's URL table and its 1264-byte job-log record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace leafstash {

enum class TURLKind : std::uint8_t { Other = 0, Picture = 1, Page = 2 };

enum class TURLState : std::uint8_t {
  Queued = 0,
  Downloading = 1,
  AwaitingRewrite = 2,
  Failed = 3,
  Done = 4,
};
constexpr std::size_t kStateCount = 5;

// Texts are held whole; only the log record cuts them to 250 bytes.
struct TURLEntry {
  std::string EntryURL;   // absolute, without fragment; identifies the entry
  std::string ActualURL;  // where the data came from after redirections
  std::string Referrer;   // page the address was found in; empty at top level
  std::string LinkTitle;
  std::string LocalName;  // file name inside the destination folder
  TURLKind Kind = TURLKind::Other;
  TURLState State = TURLState::Queued;
  std::int32_t ResponseCode = 0;
};

constexpr std::size_t kLogRecordSize = 1264;
constexpr std::size_t kLogTextMax = 250;

// Writes the record of Entry into Out (kLogRecordSize bytes): each text as
// a length byte and its first 250 bytes (never cut inside a UTF-8
// character), zeros after it and in the padding.
void EncodeLogRecord(const TURLEntry& Entry, unsigned char* Out);

// The entry of a record, or nothing for a record that cannot be trusted: a
// length byte above 250, a kind or state out of range, or a local name that
// is not a plain file name of the folder.
std::optional<TURLEntry> DecodeLogRecord(const unsigned char* In);

// A name that stands for a file directly in the destination folder: not
// empty, not "." or "..", without "/", "\", NUL or control bytes.
bool IsPlainFileName(std::string_view Name);

}  // namespace leafstash
