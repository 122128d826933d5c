#include "core/paths.h"

#include "core/extra_settings.h"
#include "platform/files/file_utils.h"
#include "core/process_values.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace leafstash {
namespace {

// A program that carries its LANG folder with it (a build, a copy kept in
// a folder of its own) keeps its files beside it when it may write there;
// an installed one never writes into the system's program folder, even
// when run by root.
std::string ConfigFolder(const std::string& ExeDir, bool Installed) {
  if (const char* own = std::getenv("LEAFSTASH_CONFIG_DIR"); own && *own) return WithSlash(own);
  if (!Installed && ::access(ExeDir.c_str(), W_OK) == 0) return ExeDir;
  return UserFolder("XDG_CONFIG_HOME", ".config") + "leafstash/";
}

}  // namespace

TProcessPaths FindProcessPaths(const std::string& ExePath) {
  TProcessPaths paths;
  const std::size_t slash = ExePath.rfind('/');
  paths.ExeDir = slash == std::string::npos ? "./" : ExePath.substr(0, slash + 1);
  paths.LangDir = paths.ExeDir + "LANG/";
  bool installed = false;
  if (!IsFolder(paths.LangDir)) {
    const std::string shared = paths.ExeDir + "../share/leafstash/LANG/";
    installed = IsFolder(shared);
    if (installed) paths.LangDir = shared;
  }
  const std::string config = ConfigFolder(paths.ExeDir, installed);
  paths.SettingsFile = config + "lfsta.cfg";
  paths.VersionFile = config + "lfsta.ver";
  paths.ExtraSettingsFile = config + TExtraSettings::kFileName;
  return paths;
}

std::string ExecutablePath(const std::string& Argv0) {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length > 0) return std::string(path, static_cast<std::size_t>(length));
  return Argv0;
}

void UseProcessPaths(const std::string& ExePath) {
  const TProcessPaths paths = FindProcessPaths(ExePath);
  // The user's own folder for them may not be there yet; it holds a
  // password, so it is the user's alone.
  const std::string config = paths.SettingsFile.substr(0, paths.SettingsFile.rfind('/'));
  if (!IsFolder(config) && MakeFolders(config)) ::chmod(config.c_str(), 0700);
  TProcessValues& process = Process();
  process.ExeDir = paths.ExeDir;
  process.LangDir = paths.LangDir;
  process.SettingsFile = paths.SettingsFile;
  process.VersionFile = paths.VersionFile;
  process.ExtraSettingsFile = paths.ExtraSettingsFile;
}

}  // namespace leafstash
