// The options that came after the settings record, whose 552 bytes stay as
// they were laid out: a text file of its own beside it (lfsta.ini), one
// "Name=Value" line each. Lines this version does not know are kept as
// they are, so that a later version's options survive an earlier one.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace leafstash {

class TExtraSettings {
 public:
  static constexpr const char* kFileName = "lfsta.ini";

  // Store the page and its frames as the browser shows them, when it
  // handed them over, rather than download them again.
  bool SaveAsShown() const { return Flag("SaveAsShown", true); }
  void SetSaveAsShown(bool V) { SetFlag("SaveAsShown", V); }

  // The file's lines; a file that is missing or unreadable gives the
  // defaults. False only when a file is there but could not be read.
  bool Load(const std::string& Path);
  // Writes every line; false when the write failed (the file is then as it
  // was).
  bool Save(const std::string& Path) const;

 private:
  bool Flag(const std::string& Name, bool Default) const;
  void SetFlag(const std::string& Name, bool V);

  std::vector<std::pair<std::string, std::string>> values_;
};

}  // namespace leafstash
