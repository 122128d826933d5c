#include "download/streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace leafstash {

std::string TStream::ReadAll() {
  const std::int64_t keep = Position();
  std::string out;
  SetPosition(0);
  char buffer[65536];
  std::int64_t left = Size(), got;
  while (left > 0 && (got = Read(buffer, std::min<std::int64_t>(left, sizeof buffer))) > 0) {
    out.append(buffer, static_cast<std::size_t>(got));
    left -= got;
  }
  SetPosition(keep);
  return out;
}

std::int64_t TMemoryStream::Read(void* Buffer, std::int64_t Count) {
  if (Count <= 0 || position_ >= data_.size()) return 0;
  const std::size_t n = std::min(static_cast<std::size_t>(Count), data_.size() - position_);
  std::memcpy(Buffer, data_.data() + position_, n);
  position_ += n;
  return static_cast<std::int64_t>(n);
}

std::int64_t TMemoryStream::Write(const void* Buffer, std::int64_t Count) {
  if (Count <= 0) return 0;
  const auto n = static_cast<std::size_t>(Count);
  if (position_ == data_.size()) {
    data_.append(static_cast<const char*>(Buffer), n);
  } else {
    if (position_ + n > data_.size()) data_.resize(position_ + n);
    std::memcpy(data_.data() + position_, Buffer, n);
  }
  position_ += n;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  const std::int64_t base = Origin == TSeekOrigin::Beginning ? 0
                            : Origin == TSeekOrigin::Current ? static_cast<std::int64_t>(position_)
                                                             : Size();
  const std::int64_t target = base + Offset;
  if (target < 0) return -1;
  position_ = static_cast<std::size_t>(target);
  return target;
}

std::unique_ptr<TFileStream> TFileStream::Open(const std::string& Path, Mode How, HRESULT& Error) {
  const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW |
                    (How == Mode::CreateAnew ? (O_CREAT | O_TRUNC) : 0);
  const int fd = ::open(Path.c_str(), flags, 0644);
  if (fd < 0) {
    Error = HResultFromErrno(errno);
    return nullptr;
  }
  auto stream = std::unique_ptr<TFileStream>(new TFileStream(fd));
  if (How == Mode::OpenToAppend) stream->Seek(0, TSeekOrigin::End);
  Error = S_OK;
  return stream;
}

TFileStream::~TFileStream() { ::close(fd_); }

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count) {
  ssize_t got;
  do got = ::read(fd_, Buffer, static_cast<std::size_t>(Count));
  while (got < 0 && errno == EINTR);
  return got;
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count) {
  const char* p = static_cast<const char*>(Buffer);
  std::int64_t left = Count;
  while (left > 0) {
    const ssize_t put = ::write(fd_, p, static_cast<std::size_t>(left));
    if (put < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    p += put;
    left -= put;
  }
  return Count;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  const int whence = Origin == TSeekOrigin::Beginning ? SEEK_SET
                     : Origin == TSeekOrigin::Current ? SEEK_CUR
                                                      : SEEK_END;
  return ::lseek(fd_, Offset, whence);
}

std::int64_t TFileStream::Size() {
  struct stat info;
  return ::fstat(fd_, &info) == 0 ? info.st_size : -1;
}

}  // namespace leafstash
