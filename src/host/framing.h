// Messages between a browser and its native messaging host: a 4-byte length
// in the machine's byte order, then that many bytes of UTF-8 JSON. A browser
// sends at most 64 MiB and accepts at most 1 MiB back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace leafstash {

inline constexpr std::uint32_t kMaxRequestBytes = 64u * 1024 * 1024;
inline constexpr std::uint32_t kMaxAnswerBytes = 1024 * 1024;

// The length prefix followed by Json.
std::string FrameMessage(std::string_view Json);

enum class TFrameStatus {
  Message,   // a whole message was taken
  Pending,   // more bytes are needed
  End,       // the input ended between messages
  Cut,       // the input ended inside a message
  Empty,     // a length of 0
  TooLong,   // a length over the limit
  Failed,    // the input could not be read
};

// Takes the bytes of a stream as they come and hands out whole messages.
class TFrameReader {
 public:
  explicit TFrameReader(std::uint32_t MaxBytes = kMaxRequestBytes) : max_(MaxBytes) {}

  void Feed(const char* Data, std::size_t Size) { buffer_.append(Data, Size); }
  // The next message into Message, or why there is none. AtEnd says the
  // input has ended, so a partial message is cut short.
  TFrameStatus Next(std::string& Message, bool AtEnd = false);
  // How many more bytes the next message needs (at least 1 while Pending).
  std::size_t Needed() const;

 private:
  std::uint32_t max_;
  std::string buffer_;
  std::size_t offset_ = 0;
};

// Reads from Fd (blocking) until Reader has the next message or the input
// ends or breaks; never reads past what the reader needs to decide.
TFrameStatus ReadMessage(int Fd, TFrameReader& Reader, std::string& Message);

// What went wrong with the framing, for a line on standard error.
std::string DescribeFrameStatus(TFrameStatus Status, std::uint32_t MaxBytes = kMaxRequestBytes);

// Writes all of Data to Fd; false when the other end is gone.
bool WriteAll(int Fd, std::string_view Data);

// The answer to a request, {"status": Status, "message": Message}: always
// valid JSON under the browser's 1 MiB limit (a long or broken message is
// cut and mended).
std::string EncodeAnswer(HRESULT Status, std::string_view Message);

}  // namespace leafstash
