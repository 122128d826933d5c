// Language files: "key=value" lines whose keys are matched without regard
// to case (the first line of a key wins), and the texts the engine shares.
#pragma once

#include <array>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace leafstash {

class TLanguageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TLanguageFile {
 public:
  // Reads a file; one that cannot be opened is the error
  // "Cannot open file <full path>".
  static TLanguageFile Load(const std::string& Path);
  // Lines end in CR LF, LF or CR; the key is everything before the first
  // "=" (blanks included), the value everything after it.
  static TLanguageFile FromText(std::string_view Text);

  // The value of Key, empty when the file has none.
  std::string Value(std::string_view Key) const;
  // Takes Other's value for each key this file lacks (a language file
  // older than the program).
  void AddMissing(const TLanguageFile& Other);

 private:
  std::map<std::string, std::string> values_;  // keys in lower case
};

// Every key the program reads from a language file, in the order in which
// they are applied.
inline constexpr std::array<std::string_view, 67> kLanguageKeys = {
    "lblDestFld", "btnDestFld", "lblSubFld", "chbSubFld", "btnStart", "btnHelp",
    "btnExit", "chbImg", "chbShown", "hntShown", "chbOptDef", "btnAll",
    "btnInverse", "btnInternal", "col0", "col1", "col2", "col3", "tshGeneral", "chbExter",
    "chbURL", "edURL", "chbExist", "chbAutoSkip", "lblSec", "lblThread",
    "chbNewVer", "lblNewVer", "lblLang", "grpAuth", "lblUser", "lblPass",
    "tshAdvanced", "tshAbout", "ByteRecStr", "FileRecStr", "SaveWPStr", "btnAbortStr",
    "LfStaSiteEng", "LfStaSiteRus", "lblAuthTitle", "lblAuthUser", "lblAuthPass",
    "msgNoFolder", "msgNotAbsolute", "msgNotFolder", "msgCreateFolder", "msgNoSuchFolder",
    "msgCannotCreate", "msgNoSubFolder", "msgLocked", "btnYes", "btnNo", "lblSavingTo",
    "ntfSaved", "ntfPartly", "ntfFailed", "ntfAborted", "ntfBody", "ntfReused",
    "ntfPageFailed", "ntfOpenPage", "ntfOpenFolder", "chbSingleFile", "hntSingleFile",
    "chbWarc", "hntWarc"};

// Texts of the language that the progress window and the authentication
// prompt show, and the home-page addresses; they keep the values of the
// last language applied.
struct TSharedTexts {
  std::string SaveWPStr, ByteRecStr, FileRecStr, btnAbortStr, lblSavingTo;
  std::string lblAuthTitle, lblAuthUser, lblAuthPass;
  std::string LfStaSiteEng, LfStaSiteRus;
};

void ApplySharedTexts(const TLanguageFile& File, TSharedTexts& Texts);

// The home-page address for a language: the Russian one exactly for the
// name "Russian", the English one for every other name.
std::string SiteURLFor(std::string_view LanguageName, const TSharedTexts& Texts);

// Windows language identifier of the user's locale (LC_ALL, LC_MESSAGES,
// LANG, the first that is set): 1049 Russian, 1058 Ukrainian, 1059
// Belarusian, 0 for any other.
int SystemLanguageId();
bool IsRussianSystem();

}  // namespace leafstash
