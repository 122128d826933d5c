#include "archive/spool.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "archive/raw_file.h"

namespace leafstash {
TSpool::TSpool(std::string Folder, std::atomic<std::uint64_t>& Budget)
    : folder_(std::move(Folder)), budget_(Budget) {}

TSpool::~TSpool() {
  budget_ -= counted_;
  if (fd_ >= 0) ::close(fd_);
}

bool TSpool::ToFile(std::string& Why) {
  fd_ = OpenNamelessFile(folder_, Why);
  if (fd_ < 0) return false;
  if (!WriteAll(fd_, memory_.data(), memory_.size(), Why)) return false;
  memory_.clear();
  memory_.shrink_to_fit();
  budget_ -= counted_;
  counted_ = 0;
  return true;
}

bool TSpool::Append(const char* Data, std::size_t Size, std::string& Why) {
  if (fd_ < 0 && (memory_.size() + Size > kMemoryMax || budget_ + Size > kMemoryBudget) &&
      !ToFile(Why))
    return false;
  size_ += Size;
  if (fd_ >= 0) return WriteAll(fd_, Data, Size, Why);
  memory_.append(Data, Size);
  counted_ += Size;
  budget_ += Size;
  return true;
}

bool TSpool::ReadAll(const std::function<void(std::string_view)>& Block, std::string& Why) const {
  if (fd_ < 0) {
    if (!memory_.empty()) Block(memory_);
    return true;
  }
  std::vector<char> buffer(256u << 10);
  std::uint64_t at = 0;
  while (at < size_) {
    const ssize_t got = ::pread(fd_, buffer.data(), buffer.size(), static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      Why = got < 0 ? std::strerror(errno) : "the spooled body ended early";
      return false;
    }
    Block(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    at += static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace leafstash
