#include "tag_reader.h"

#include "byte_search.h"
#include "text_utils.h"

namespace leafstash {

constexpr std::size_t npos = std::string_view::npos;

std::size_t TagNameEnd(std::string_view Text, std::size_t P) {
  const std::size_t n = Text.size();
  while (P < n && !IsMarkupSpace(Text[P]) && Text[P] != '/' && Text[P] != '>') ++P;
  return P;
}

bool NextTagAttribute(std::string_view Text, std::size_t& Q, TTagAttribute& Out,
                      bool& SelfClosing) {
  const std::size_t n = Text.size();
  const std::size_t lead = Q;
  while (Q < n && (IsMarkupSpace(Text[Q]) || Text[Q] == '/')) ++Q;
  if (Q >= n) {
    Q = npos;
    return false;
  }
  if (Text[Q] == '>') {
    SelfClosing = Text[Q - 1] == '/';
    ++Q;
    return false;
  }
  Out.Lead = lead;
  const std::size_t nameStart = Q++;  // a first "=" belongs to the name
  while (Q < n && !IsMarkupSpace(Text[Q]) && Text[Q] != '/' && Text[Q] != '>' && Text[Q] != '=')
    ++Q;
  Out.Name = LowerCopy(Text.substr(nameStart, Q - nameStart));
  Out.ValueStart = Out.ValueEnd = Out.End = Q;
  std::size_t r = Q;
  while (r < n && IsMarkupSpace(Text[r])) ++r;
  if (r < n && Text[r] == '=') {
    ++r;
    while (r < n && IsMarkupSpace(Text[r])) ++r;
    if (r < n && (Text[r] == '"' || Text[r] == '\'')) {
      const std::size_t close = Text.find(Text[r], r + 1);
      Out.ValueStart = r + 1;
      Out.ValueEnd = close == npos ? n : close;
      Out.End = close == npos ? n : close + 1;
    } else {
      Out.ValueStart = r;
      while (r < n && !IsMarkupSpace(Text[r]) && Text[r] != '>') ++r;
      Out.ValueEnd = Out.End = r;
    }
    Q = Out.End;
  }
  return true;
}

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
