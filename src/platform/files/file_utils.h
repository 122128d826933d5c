// File access with the program's safety rules: writes go to a temporary
// file in the same folder that is then renamed over the target (an
// interrupted write leaves the old file whole, a symbolic link is replaced,
// never followed); reads of files named by outside data do not follow
// symbolic links.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace leafstash {

// A failed file operation; what() holds the path and the system's text.
class TFileError : public std::runtime_error {
 public:
  TFileError(const std::string& Path, int Errno);
  int Errno() const { return errno_; }

 private:
  int errno_;
};

// Replaces Path with Data; the file gets the permissions Mode. Durable
// waits until the data is on the disk before the rename (for the files the
// program keeps its own state in); without it an interrupted program still
// leaves the old file whole.
void WriteFileAtomically(const std::string& Path, std::string_view Data,
                         mode_t Mode = 0644, bool Durable = true);

// The same, and the file stays open for in-place updates: its descriptor
// is returned (the caller closes it).
int WriteFileAtomicallyKeepOpen(const std::string& Path, std::string_view Data,
                                mode_t Mode = 0644);

// Creates a new empty file in Folder (ending in "/") for a download to
// arrive in, named after PartFilePrefix and never the name of a file that
// is there; returns its path.
std::string CreatePartFile(const std::string& Folder);
// What part files' names begin with.
constexpr std::string_view PartFilePrefix = ".lfsta-part-";
// Removes the part files in Folder that a job which was killed left (those
// of a process that no longer runs).
void RemoveLeftPartFiles(const std::string& Folder);

// The whole file, or nothing when it does not exist. A symbolic link is not
// followed (it reads as an error), nor is anything but a regular file read.
std::optional<std::string> ReadFileNoFollow(const std::string& Path);

// True when Path is a regular file (a symbolic link is not followed).
bool IsRegularFile(const std::string& Path);

// True when Path exists (as anything, links not followed).
bool PathExists(const std::string& Path);

// True when Path names a folder (links followed).
bool IsFolder(const std::string& Path);
// Makes Path and its missing parents; true when it is a folder afterwards.
// Why not, when it is not, goes to Why (the system's text).
bool MakeFolders(const std::string& Path, std::string* Why = nullptr);
// Path with one "/" at its end.
std::string WithSlash(std::string Path);

// The user's home folder, ending in "/": $HOME when it is an absolute path,
// else the one the password database names.
std::string HomeFolder();
// A base folder of the user's, ending in "/": the variable Variable
// ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME") when it holds an
// absolute path (relative ones are ignored), else UnderHome (".config",
// ".local/share", ".local/state") in the home folder.
std::string UserFolder(const char* Variable, std::string_view UnderHome);

}  // namespace leafstash
