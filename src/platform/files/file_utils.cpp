#include "platform/files/file_utils.h"

#include <filesystem>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace leafstash {

TFileError::TFileError(const std::string& Path, int Errno)
    : std::runtime_error(Path + ": " + std::strerror(Errno)), errno_(Errno) {}

namespace {

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

namespace {

// Writes Data to a new temporary file beside Path and renames it over Path;
// returns the open descriptor when Keep, else closes it and returns -1.
int ReplaceFile(const std::string& Path, std::string_view Data, mode_t Mode, bool Durable,
                bool Keep) {
  std::string temp = Path + ".XXXXXX";
  Descriptor file;
  file.fd = ::mkstemp(temp.data());
  if (file.fd < 0) throw TFileError(Path, errno);
  const auto fail = [&](int error) {
    ::unlink(temp.c_str());
    throw TFileError(Path, error);
  };
  const char* p = Data.data();
  std::size_t left = Data.size();
  while (left > 0) {
    const ssize_t written = ::write(file.fd, p, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    p += written;
    left -= static_cast<std::size_t>(written);
  }
  if (::fchmod(file.fd, Mode) != 0) fail(errno);
  if (Durable && ::fsync(file.fd) != 0) fail(errno);
  const int fd = file.fd;
  file.fd = -1;
  if (!Keep && ::close(fd) != 0) fail(errno);  // a late write error leaves the old file
  if (::rename(temp.c_str(), Path.c_str()) != 0) {
    if (Keep) ::close(fd);
    fail(errno);
  }
  return Keep ? fd : -1;
}

}  // namespace

void WriteFileAtomically(const std::string& Path, std::string_view Data, mode_t Mode,
                         bool Durable) {
  ReplaceFile(Path, Data, Mode, Durable, false);
}

int WriteFileAtomicallyKeepOpen(const std::string& Path, std::string_view Data, mode_t Mode) {
  return ReplaceFile(Path, Data, Mode, false, true);
}

std::string CreatePartFile(const std::string& Folder) {
  static unsigned counter = 0;
  const std::string prefix = Folder + std::string(PartFilePrefix) + std::to_string(::getpid()) + "-";
  while (true) {
    const std::string path = prefix + std::to_string(++counter);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST) throw TFileError(Folder, errno);
  }
}

void RemoveLeftPartFiles(const std::string& Folder) {
  DIR* dir = ::opendir(Folder.c_str());
  if (!dir) return;
  while (const dirent* item = ::readdir(dir)) {
    const std::string_view name(item->d_name);
    if (name.rfind(PartFilePrefix, 0) != 0) continue;
    // The process that writes it is named in it: a job that still runs
    // keeps its part files.
    const long pid = std::strtol(item->d_name + PartFilePrefix.size(), nullptr, 10);
    if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)) continue;
    ::unlink((Folder + item->d_name).c_str());
  }
  ::closedir(dir);
}

std::optional<std::string> ReadFileNoFollow(const std::string& Path) {
  Descriptor file;
  file.fd = ::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (file.fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw TFileError(Path, errno);
  }
  struct stat info;
  if (::fstat(file.fd, &info) != 0) throw TFileError(Path, errno);
  if (!S_ISREG(info.st_mode)) throw TFileError(Path, EINVAL);
  // Read straight into the text, which grows if the file does.
  std::string data(static_cast<std::size_t>(info.st_size) + 1, '\0');
  std::size_t size = 0;
  while (true) {
    if (size == data.size()) data.resize(data.size() * 2);
    const ssize_t got = ::read(file.fd, data.data() + size, data.size() - size);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw TFileError(Path, errno);
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  data.resize(size);
  return data;
}

bool IsRegularFile(const std::string& Path) {
  struct stat info;
  return ::lstat(Path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool PathExists(const std::string& Path) {
  struct stat info;
  return ::lstat(Path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& Path) {
  struct stat info;
  return !Path.empty() && ::stat(Path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolders(const std::string& Path, std::string* Why) {
  std::error_code error;
  std::filesystem::create_directories(Path, error);
  if (IsFolder(Path)) return true;
  if (Why) *Why = error ? error.message() : std::strerror(ENOTDIR);
  return false;
}

std::string WithSlash(std::string Path) {
  if (Path.empty() || Path.back() != '/') Path += '/';
  return Path;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home == '/') return WithSlash(home);
  if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir && *user->pw_dir == '/')
    return WithSlash(user->pw_dir);
  return "/";
}

std::string UserFolder(const char* Variable, std::string_view UnderHome) {
  if (const char* value = std::getenv(Variable); value && *value == '/') return WithSlash(value);
  return WithSlash(HomeFolder() + std::string(UnderHome));
}

}  // namespace leafstash
