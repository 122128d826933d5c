#include "core/extra_settings.h"

#include "platform/files/file_utils.h"
#include "html/text_utils.h"

namespace leafstash {

bool TExtraSettings::Load(const std::string& Path) {
  values_.clear();
  std::optional<std::string> text;
  try {
    text = ReadFileNoFollow(Path);
  } catch (const TFileError&) {
    return false;
  }
  if (!text) return true;
  ForEachLine(*text, [&](std::string_view Line) {
    const std::size_t equals = Line.find('=');
    if (equals == std::string_view::npos) return;
    const std::string name = Trim(Line.substr(0, equals));
    if (!name.empty() && name[0] != ';' && name[0] != '#' && name[0] != '[')
      values_.emplace_back(name, Trim(Line.substr(equals + 1)));
  });
  return true;
}

bool TExtraSettings::Save(const std::string& Path) const {
  std::string text = "[Leafstash]\r\n";
  for (const auto& [name, value] : values_) text += name + "=" + value + "\r\n";
  try {
    WriteFileAtomically(Path, text, 0600);
    return true;
  } catch (const TFileError&) {
    return false;
  }
}

bool TExtraSettings::Flag(const std::string& Name, bool Default) const {
  for (const auto& [name, value] : values_)
    if (SameTextAscii(name, Name)) return value == "1" ? true : value == "0" ? false : Default;
  return Default;
}

int TExtraSettings::Number(const std::string& Name, int Default, int Min, int Max) const {
  for (const auto& [name, value] : values_) {
    if (!SameTextAscii(name, Name)) continue;
    if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
      return Default;
    const int number = std::stoi(value);
    return number < Min || number > Max ? Default : number;
  }
  return Default;
}

void TExtraSettings::SetFlag(const std::string& Name, bool V) {
  for (auto& [name, value] : values_) {
    if (SameTextAscii(name, Name)) {
      value = V ? "1" : "0";
      return;
    }
  }
  values_.emplace_back(Name, V ? "1" : "0");
}

}  // namespace leafstash
