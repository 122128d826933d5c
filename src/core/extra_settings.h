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
  // Also keep the page as one HTML file with its files inside.
  bool SingleFile() const { return Flag("SingleFile", false); }
  void SetSingleFile(bool V) { SetFlag("SingleFile", V); }
  // Keep a web archive (WACZ) of the job's exchanges.
  bool WebArchive() const { return Flag("WebArchive", false); }
  void SetWebArchive(bool V) { SetFlag("WebArchive", V); }
  // Files above this many MiB stay web addresses in the one-file copy
  // (1 to 4096; 20 when unset or out of range).
  int SingleFileMaxMiB() const { return Number("SingleFileMaxMiB", 20, 1, 4096); }

  // The file's lines; a file that is missing or unreadable gives the
  // defaults. False only when a file is there but could not be read.
  bool Load(const std::string& Path);
  // Writes every line; false when the write failed (the file is then as it
  // was).
  bool Save(const std::string& Path) const;

 private:
  bool Flag(const std::string& Name, bool Default) const;
  int Number(const std::string& Name, int Default, int Min, int Max) const;
  void SetFlag(const std::string& Name, bool V);

  std::vector<std::pair<std::string, std::string>> values_;
};

}  // namespace leafstash
