#include "core/language.h"

#include <cstdlib>

#include "platform/files/file_utils.h"
#include "html/text_utils.h"

namespace leafstash {

TLanguageFile TLanguageFile::Load(const std::string& Path) {
  std::optional<std::string> text;
  try {
    text = ReadFileNoFollow(Path);
  } catch (const TFileError&) {
    text.reset();
  }
  if (!text) throw TLanguageError("Cannot open file " + Path);
  return FromText(*text);
}

TLanguageFile TLanguageFile::FromText(std::string_view Text) {
  TLanguageFile file;
  ForEachLine(Text, [&](std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    file.values_.emplace(LowerCopy(line.substr(0, eq)), std::string(line.substr(eq + 1)));
  });
  return file;
}

std::string TLanguageFile::Value(std::string_view Key) const {
  auto it = values_.find(LowerCopy(Key));
  return it == values_.end() ? std::string() : it->second;
}

void TLanguageFile::AddMissing(const TLanguageFile& Other) {
  values_.insert(Other.values_.begin(), Other.values_.end());
}

void ApplySharedTexts(const TLanguageFile& File, TSharedTexts& Texts) {
  Texts.ByteRecStr = File.Value("ByteRecStr");
  Texts.FileRecStr = File.Value("FileRecStr");
  Texts.SaveWPStr = File.Value("SaveWPStr");
  Texts.btnAbortStr = File.Value("btnAbortStr");
  Texts.lblSavingTo = File.Value("lblSavingTo");
  Texts.LfStaSiteEng = File.Value("LfStaSiteEng");
  Texts.LfStaSiteRus = File.Value("LfStaSiteRus");
  Texts.lblAuthTitle = File.Value("lblAuthTitle");
  Texts.lblAuthUser = File.Value("lblAuthUser");
  Texts.lblAuthPass = File.Value("lblAuthPass");
}

std::string SiteURLFor(std::string_view LanguageName, const TSharedTexts& Texts) {
  return LanguageName == "Russian" ? Texts.LfStaSiteRus : Texts.LfStaSiteEng;
}

int SystemLanguageId() {
  std::string locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      locale = value;
      break;
    }
  }
  const std::string language = LowerCopy(locale.substr(0, locale.find_first_of("_.@")));
  if (language == "ru") return 1049;
  if (language == "uk") return 1058;
  if (language == "be") return 1059;
  return 0;
}

bool IsRussianSystem() {
  const int id = SystemLanguageId();
  return id == 1049 || id == 1058 || id == 1059;
}

}  // namespace leafstash
