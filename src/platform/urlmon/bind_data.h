// The body of one response as a bind hands it on: the bytes that came over
// the wire and, for a compressed answer (gzip or deflate), the bytes
// decoded from them, a block at a time as the reader takes them, so that
// memory holds little more than what waits to be read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace leafstash {

class BindData {
 public:
  BindData();
  ~BindData();
  BindData(const BindData&) = delete;
  BindData& operator=(const BindData&) = delete;

  // Forgets everything, for a new response.
  void Reset();
  // Decodes what Append brings according to a Content-Encoding value:
  // gzip and deflate are decoded, anything else is kept as it came.
  void SetCoding(std::string_view ContentEncoding);

  // Bytes as they came over the wire.
  void Append(const char* Data, std::size_t Size);
  // Decodes up to Limit more bytes of what waits; false when the data is
  // not what its encoding says, or expands more than 1000 times past its
  // first MiB (Failure tells which).
  bool Decode(std::size_t Limit);
  // True while wire bytes wait to be decoded, or decoded bytes are owed.
  bool CanDecode() const;
  bool Compressed() const { return inflater_ != nullptr; }
  // False when a compressed body stopped before its end.
  bool Complete() const;
  HRESULT Failure() const { return failure_; }

  // Decoded bytes: reading them, and how many wait.
  std::size_t Read(void* Buffer, std::size_t Size);
  std::size_t Unread() const { return bytes_.size() - readPos_; }
  // Everything held: decoded bytes not read and wire bytes not decoded.
  std::size_t Held() const { return Unread() + (raw_.size() - rawPos_); }
  // Decoded bytes so far.
  std::uint64_t Arrived() const { return arrived_; }

 private:
  struct Inflater;
  void Keep(const char* Data, std::size_t Size);

  std::string bytes_;  // decoded, from readPos_ on unread
  std::size_t readPos_ = 0;
  std::uint64_t arrived_ = 0;
  std::string raw_;  // wire bytes of a compressed answer, from rawPos_ on
  std::size_t rawPos_ = 0;
  std::unique_ptr<Inflater> inflater_;
  HRESULT failure_ = S_OK;
};

}  // namespace leafstash
