#include "host/framing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "html/text_utils.h"

namespace leafstash {
namespace {

constexpr std::size_t kHeaderBytes = 4;
// Room left in an answer for everything but the message text.
constexpr std::size_t kMaxMessageBytes = 64 * 1024;

std::uint32_t HeaderLength(const char* Header) {
  std::uint32_t length;
  std::memcpy(&length, Header, kHeaderBytes);
  return length;
}

}  // namespace

std::string FrameMessage(std::string_view Json) {
  const auto length = static_cast<std::uint32_t>(Json.size());
  std::string framed(kHeaderBytes, '\0');
  std::memcpy(framed.data(), &length, kHeaderBytes);
  framed.append(Json);
  return framed;
}

std::size_t TFrameReader::Needed() const {
  const std::size_t have = buffer_.size() - offset_;
  if (have < kHeaderBytes) return kHeaderBytes - have;
  const std::uint32_t length = HeaderLength(buffer_.data() + offset_);
  if (length == 0 || length > max_) return 1;  // Next() reports it
  const std::size_t whole = kHeaderBytes + length;
  return have < whole ? whole - have : 0;
}

TFrameStatus TFrameReader::Next(std::string& Message, bool AtEnd) {
  const std::size_t have = buffer_.size() - offset_;
  if (have < kHeaderBytes) {
    if (!AtEnd) return TFrameStatus::Pending;
    return have == 0 ? TFrameStatus::End : TFrameStatus::Cut;
  }
  const std::uint32_t length = HeaderLength(buffer_.data() + offset_);
  if (length == 0) return TFrameStatus::Empty;
  if (length > max_) return TFrameStatus::TooLong;
  if (have - kHeaderBytes < length) return AtEnd ? TFrameStatus::Cut : TFrameStatus::Pending;
  Message.assign(buffer_, offset_ + kHeaderBytes, length);
  offset_ += kHeaderBytes + length;
  if (offset_ == buffer_.size()) {
    buffer_.clear();
    offset_ = 0;
  }
  return TFrameStatus::Message;
}

TFrameStatus ReadMessage(int Fd, TFrameReader& Reader, std::string& Message) {
  std::string chunk;
  while (true) {
    const TFrameStatus status = Reader.Next(Message);
    if (status != TFrameStatus::Pending) return status;
    // Only what this message still needs: what follows belongs to the next.
    chunk.resize(std::min<std::size_t>(Reader.Needed(), 1 << 20));
    const ssize_t got = ::read(Fd, chunk.data(), chunk.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return TFrameStatus::Failed;
    }
    if (got == 0) return Reader.Next(Message, true);
    Reader.Feed(chunk.data(), static_cast<std::size_t>(got));
  }
}

std::string DescribeFrameStatus(TFrameStatus Status, std::uint32_t MaxBytes) {
  switch (Status) {
    case TFrameStatus::Message: return "a whole message";
    case TFrameStatus::Pending: return "a message not yet complete";
    case TFrameStatus::End: return "the input ended";
    case TFrameStatus::Cut: return "the input ended inside a message (its length promised more)";
    case TFrameStatus::Empty: return "a message of length 0";
    case TFrameStatus::TooLong:
      return "a message longer than " + std::to_string(MaxBytes) + " bytes";
    case TFrameStatus::Failed: return std::string("the input could not be read: ") + std::strerror(errno);
  }
  return "unknown";
}

bool WriteAll(int Fd, std::string_view Data) {
  struct stat info {};
  const bool socket = ::fstat(Fd, &info) == 0 && S_ISSOCK(info.st_mode);
  while (!Data.empty()) {
    // A socket whose reader is gone answers EPIPE instead of a signal.
    const ssize_t written = socket ? ::send(Fd, Data.data(), Data.size(), MSG_NOSIGNAL)
                                   : ::write(Fd, Data.data(), Data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      pollfd writable = {Fd, POLLOUT, 0};
      if (::poll(&writable, 1, -1) < 0 && errno != EINTR) return false;
      continue;
    }
    Data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string EncodeAnswer(HRESULT Status, std::string_view Message) {
  const nlohmann::json answer = {
      {"status", Status},
      {"message", std::string(Utf8Prefix(Message, kMaxMessageBytes))},
  };
  // Broken UTF-8 in the message becomes U+FFFD; escapes keep it well under
  // the limit (at most 6 bytes for each of 64 KiB).
  return answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace leafstash
