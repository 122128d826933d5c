// Which stored pages are read for their references: text, and not too
// large to hold in memory while they are scanned.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace leafstash {

// Pages larger than this are stored as they came, neither scanned nor
// rewritten: a page is read whole into memory for its scan.
constexpr std::int64_t kMaxScannedPage = 32ll << 20;

// A page with a NUL byte is not a text page (a PDF or a picture shown by
// the browser): it is kept exactly as it came.
inline bool IsTextPage(std::string_view Data) {
  return std::memchr(Data.data(), '\0', Data.size()) == nullptr;
}

// Both at once.
inline bool IsScannedPage(std::string_view Data) {
  return static_cast<std::int64_t>(Data.size()) <= kMaxScannedPage && IsTextPage(Data);
}

}  // namespace leafstash
