#include "tag_scanner.h"

#include "text_utils.h"

namespace leafstash {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// Offset of Needle in Text at or after From, ASCII case ignored; npos if none.
std::size_t FindNoCase(std::string_view Text, std::string_view LowerNeedle,
                       std::size_t From) {
  for (std::size_t i = From; i + LowerNeedle.size() <= Text.size(); ++i)
    if (SameTextAscii(Text.substr(i, LowerNeedle.size()), LowerNeedle)) return i;
  return std::string_view::npos;
}

TTagClass ClassOf(std::string_view LowerName) {
  if (LowerName == "img") return TTagClass::Img;
  if (LowerName == "script") return TTagClass::Script;
  if (LowerName == "link") return TTagClass::Link;
  if (LowerName == "a") return TTagClass::A;
  if (LowerName == "frame") return TTagClass::Frame;
  return TTagClass::Other;
}

// Reads the attributes of the tag whose name ends at Pos; returns the
// offset after the tag's ">" (the end of the text when it has none).
std::size_t ReadAttributes(std::string_view Html, std::size_t Pos,
                           std::vector<std::string>& Attributes) {
  const std::size_t n = Html.size();
  std::size_t q = Pos;
  while (q < n) {
    while (q < n && (IsBlank(Html[q]) || Html[q] == '/')) ++q;
    if (q >= n) break;
    if (Html[q] == '>') return q + 1;
    const std::size_t nameStart = q;
    while (q < n && !IsBlank(Html[q]) && Html[q] != '=' && Html[q] != '>') ++q;
    std::string line(Html.substr(nameStart, q - nameStart));
    std::size_t r = q;
    while (r < n && IsBlank(Html[r])) ++r;
    if (r < n && Html[r] == '=') {
      ++r;
      while (r < n && IsBlank(Html[r])) ++r;
      const std::size_t valueStart = r;
      if (r < n && (Html[r] == '"' || Html[r] == '\'')) {
        const std::size_t close = Html.find(Html[r], r + 1);
        r = close == std::string_view::npos ? n : close + 1;
      } else {
        while (r < n && !IsBlank(Html[r]) && Html[r] != '>') ++r;
      }
      line += '=';
      line.append(Html.substr(valueStart, r - valueStart));
      q = r;
    }
    Attributes.push_back(std::move(line));
  }
  return n;
}

}  // namespace

void ScanTags(std::string_view Html, const TTagHandler& OnTag) {
  const std::size_t n = Html.size();
  std::size_t i = 0;
  std::vector<std::string> attributes;
  while (i < n) {
    const std::size_t lt = Html.find('<', i);
    if (lt == std::string_view::npos) break;
    const std::size_t p = lt + 1;
    if (p < n && (Html[p] == '!' || Html[p] == '#' || Html[p] == '%' || Html[p] == '?')) {
      const bool comment = Html.compare(p, 3, "!--") == 0;
      const std::size_t end = comment ? Html.find("-->", p + 3) : Html.find('>', p);
      i = end == std::string_view::npos ? n : end + (comment ? 3 : 1);
      continue;
    }
    std::size_t q = p;
    while (q < n && !IsBlank(Html[q]) && Html[q] != '>' && !(Html[q] == '/' && q > p)) ++q;
    if (q == p) {  // "<" followed by a blank or ">" is text
      i = p;
      continue;
    }
    const std::string name = LowerCopy(Html.substr(p, q - p));
    attributes.clear();
    i = ReadAttributes(Html, q, attributes);
    OnTag(ClassOf(name), attributes);
    if (name.compare(0, 6, "script") == 0) {
      // Nothing inside the element is a tag; it ends with "</script...>".
      const std::size_t close = FindNoCase(Html, "</script", i);
      if (close == std::string_view::npos) break;
      const std::size_t gt = Html.find('>', close);
      i = gt == std::string_view::npos ? n : gt + 1;
    }
  }
}

std::string GetParamValue(const std::vector<std::string>& Attributes, std::size_t Index) {
  if (Index >= Attributes.size()) return {};
  const std::string& line = Attributes[Index];
  const std::size_t eq = line.find('=');
  std::string value = eq == std::string::npos ? line : Trim(line.substr(eq + 1));
  if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
    const char quote = value.front();
    value.erase(0, 1);
    if (!value.empty() && value.back() == quote) value.pop_back();
  }
  return value;
}

}  // namespace leafstash
