#include "html/tag_reader.h"

#include "html/byte_search.h"
#include "html/text_utils.h"

namespace leafstash {

constexpr std::size_t npos = std::string_view::npos;

std::string AttributeText(std::string_view Html, bool Quoted) {
  std::string out;
  out.reserve(Html.size() + 16);
  if (!Quoted) out += '"';
  for (const char c : Html) {
    if (c == '&') out += "&amp;";
    else if (c == '"') out += "&quot;";
    else if (c == '\'') out += "&#39;";
    else out += c;
  }
  if (!Quoted) out += '"';
  return out;
}

std::size_t RawTextEnd(std::string_view Text, std::string_view Name, std::size_t From) {
  const std::string close = "</" + UpperCopy(Name);
  for (std::size_t at = FindCaseless(Text, close, From); at != npos;
       at = FindCaseless(Text, close, at + 1)) {
    const std::size_t after = at + close.size();
    if (after >= Text.size() || IsMarkupSpace(Text[after]) || Text[after] == '/' ||
        Text[after] == '>')
      return at;
  }
  return Text.size();
}

}  // namespace leafstash
