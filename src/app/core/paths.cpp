#include "paths.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace leafstash {
namespace {

std::string WithSlash(std::string Path) {
  if (Path.empty() || Path.back() != '/') Path += '/';
  return Path;
}

bool IsFolder(const std::string& Path) {
  struct stat info;
  return ::stat(Path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ConfigFolder(const std::string& ExeDir) {
  if (const char* own = std::getenv("LEAFSTASH_CONFIG_DIR"); own && *own) return WithSlash(own);
  if (::access(ExeDir.c_str(), W_OK) == 0) return ExeDir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
    return WithSlash(xdg) + "leafstash/";
  const char* home = std::getenv("HOME");
  return WithSlash(home && *home ? home : "/tmp") + ".config/leafstash/";
}

}  // namespace

TProcessPaths FindProcessPaths(const std::string& ExePath) {
  TProcessPaths paths;
  const std::size_t slash = ExePath.rfind('/');
  paths.ExeDir = slash == std::string::npos ? "./" : ExePath.substr(0, slash + 1);
  paths.LangDir = paths.ExeDir + "LANG/";
  if (!IsFolder(paths.LangDir)) {
    const std::string shared = paths.ExeDir + "../share/leafstash/LANG/";
    if (IsFolder(shared)) paths.LangDir = shared;
  }
  const std::string config = ConfigFolder(paths.ExeDir);
  paths.SettingsFile = config + "lfsta.cfg";
  paths.VersionFile = config + "lfsta.ver";
  return paths;
}

}  // namespace leafstash
