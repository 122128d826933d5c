// Where the program keeps its files: the executable's folder, the language
// folder, and the settings and version files.
#pragma once

#include <string>

namespace leafstash {

struct TProcessPaths {
  std::string ExeDir;        // ends in "/"
  std::string LangDir;       // ends in "/"
  std::string SettingsFile;  // lfsta.cfg
  std::string VersionFile;   // lfsta.ver
  std::string ExtraSettingsFile;  // lfsta.ini, beside the settings file
};

// The paths for the executable at ExePath. LANG/ is found beside the
// executable or, for an installed program, in ../share/leafstash/. The
// settings and version files live beside an executable that has its LANG/
// beside it when that folder is writable, else in
// $XDG_CONFIG_HOME/leafstash/ (~/.config/leafstash/); LEAFSTASH_CONFIG_DIR,
// when set, names that folder instead.
TProcessPaths FindProcessPaths(const std::string& ExePath);

// The running program's own file; Argv0 when the system does not say.
std::string ExecutablePath(const std::string& Argv0);
// Sets the process's paths for the executable at ExePath, and makes the
// folder of the settings and version files when it is missing.
void UseProcessPaths(const std::string& ExePath);

}  // namespace leafstash
