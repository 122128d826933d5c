#include "archive/raw_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace leafstash {

int OpenNamelessFile(const std::string& Folder, std::string& Why) {
  std::string name = Folder;
  if (!name.empty() && name.back() != '/') name += '/';
  name += ".leafstash-work-XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    Why = std::strerror(errno);
    return -1;
  }
  ::unlink(name.c_str());
  return fd;
}

bool WriteAll(int Fd, const char* Data, std::size_t Size, std::string& Why) {
  while (Size > 0) {
    const ssize_t put = ::write(Fd, Data, Size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      Why = std::strerror(put < 0 ? errno : ENOSPC);
      return false;
    }
    Data += put;
    Size -= static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace leafstash
