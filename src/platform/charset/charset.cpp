#include "platform/charset/charset.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace leafstash {
namespace {

std::string Lower(std::string_view Text) {
  std::string out(Text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The iconv name of a label, with the aliases browsers give some labels.
std::string IconvName(std::string_view Label) {
  const std::string label = Lower(Label);
  static constexpr std::string_view kWindows1252[] = {
      "iso-8859-1", "iso8859-1", "latin1", "l1", "ascii", "us-ascii", "cp1252", "cp819",
      "ibm819", "iso_8859-1", "iso-ir-100", "x-cp1252"};
  for (std::string_view alias : kWindows1252)
    if (label == alias) return "WINDOWS-1252";
  if (label == "gb2312" || label == "x-gbk") return "GBK";
  if (label == "shift-jis" || label == "x-sjis") return "SHIFT_JIS";
  return label;
}

}  // namespace

bool IsUtf8Label(std::string_view Label) {
  const std::string label = Lower(Label);
  return label.empty() || label == "utf-8" || label == "utf8" || label == "unicode-1-1-utf-8";
}

std::optional<std::string> ConvertToUtf8(std::string_view Text, std::string_view Label) {
  if (IsUtf8Label(Label)) return std::string(Text);
  const std::string name = IconvName(Label);
  const iconv_t cd = ::iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(Text.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(Text.data());
  std::size_t inLeft = Text.size();
  char* to = out.data();
  std::size_t toLeft = out.size();
  const std::size_t done = ::iconv(cd, &in, &inLeft, &to, &toLeft);
  ::iconv_close(cd);
  if (done == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - toLeft);
  return out;
}

}  // namespace leafstash
