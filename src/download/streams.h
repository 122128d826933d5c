// The streams a download hands to its completion event: the body in
// memory, or the destination file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/com.h"

namespace leafstash {

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;
  // Bytes read or written; -1 on failure (errno tells why).
  virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
  virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
  // The new position; -1 on failure.
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  virtual std::int64_t Size() = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(std::int64_t Position) { Seek(Position, TSeekOrigin::Beginning); }
  // All Size() bytes from the start, whatever the position.
  std::string ReadAll();
};

class TMemoryStream final : public TStream {
 public:
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
  std::size_t position_ = 0;
};

class TFileStream final : public TStream {
 public:
  enum class Mode { CreateAnew, OpenToAppend };
  // The file opened for reading and writing (a symbolic link is not
  // followed); nothing, with the reason in Error, when it cannot be.
  static std::unique_ptr<TFileStream> Open(const std::string& Path, Mode How, HRESULT& Error);
  ~TFileStream() override;

  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override;

 private:
  explicit TFileStream(int Descriptor) : fd_(Descriptor) {}
  int fd_;
};

}  // namespace leafstash
