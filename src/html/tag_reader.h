// Reading tags as a browser's tokenizer reads them: a start tag's name and
// attributes (names and values by the HTML rules), and where the text of
// a raw-text element (script, style, ...) ends. Shared by the scanners
// that read pages and the one that makes a page inert.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "html/text_utils.h"

namespace leafstash {

struct TTagAttribute {
  std::string Name;            // lower case
  std::size_t Lead = 0;        // where the blanks before the name begin
  std::size_t ValueStart = 0;  // the value without its quotes
  std::size_t ValueEnd = 0;
  std::size_t End = 0;         // after the value and its closing quote

  std::string_view Value(std::string_view Text) const {
    return Text.substr(ValueStart, ValueEnd - ValueStart);
  }
};

// Walks the markup of Text as a browser's tokenizer reads it: comments,
// end tags, doctypes and processing instructions are passed over; for each
// start tag whose name begins at P (after its "<"), StartTag(P) is called
// and returns where the walk goes on (after the tag, or after the text of
// a raw-text element). ForeignEnd() is called at each </svg> and </math>.
template <typename OnStartTag, typename OnForeignEnd>
void WalkTags(std::string_view Text, OnStartTag StartTag, OnForeignEnd ForeignEnd) {
  constexpr std::size_t npos = std::string_view::npos;
  const std::size_t n = Text.size();
  std::size_t i = 0;
  while (i < n) {
    const void* lt = std::memchr(Text.data() + i, '<', n - i);
    if (!lt) break;
    const std::size_t p = static_cast<const char*>(lt) - Text.data() + 1;
    if (p >= n) break;
    const char c = Text[p];
    if (c == '!' && Text.compare(p, 3, "!--") == 0) {
      // "<!-->" and "<!--->" are empty comments.
      const std::size_t from = Text.compare(p + 3, 1, ">") == 0   ? p + 1
                               : Text.compare(p + 3, 2, "->") == 0 ? p + 2
                                                                    : p + 3;
      const std::size_t end = Text.find("-->", from);
      i = end == npos ? n : end + 3;
    } else if (c == '/') {
      std::size_t q = p + 1;
      while (q < n && IsAsciiLetter(static_cast<unsigned char>(Text[q]))) ++q;
      const std::string_view name = Text.substr(p + 1, q - p - 1);
      if (SameTextAscii(name, "svg") || SameTextAscii(name, "math")) ForeignEnd();
      const std::size_t end = Text.find('>', p);
      i = end == npos ? n : end + 1;
    } else if (c == '!' || c == '?') {
      const std::size_t end = Text.find('>', p);
      i = end == npos ? n : end + 1;
    } else if (IsAsciiLetter(static_cast<unsigned char>(c))) {
      i = StartTag(p);
    } else {
      i = p;  // a "<" in text
    }
  }
}

// Where the name of a start tag that begins at P (after its "<") ends.
inline std::size_t TagNameEnd(std::string_view Text, std::size_t P) {
  const std::size_t n = Text.size();
  while (P < n && !IsMarkupSpace(Text[P]) && Text[P] != '/' && Text[P] != '>') ++P;
  return P;
}

// Reads the attribute that follows Q in a tag into Out; returns false at
// the tag's end, with Q at the offset after its ">" (SelfClosing: it ends
// with "/>") or npos when the text ends inside the tag.
// Inlined: it is the inner loop of every page scan.
[[gnu::always_inline]] inline bool NextTagAttribute(std::string_view Text, std::size_t& Q,
                                                    TTagAttribute& Out, bool& SelfClosing) {
  const std::size_t n = Text.size();
  const std::size_t lead = Q;
  while (Q < n && (IsMarkupSpace(Text[Q]) || Text[Q] == '/')) ++Q;
  if (Q >= n) {
    Q = std::string_view::npos;
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
      Out.ValueEnd = close == std::string_view::npos ? n : close;
      Out.End = close == std::string_view::npos ? n : close + 1;
    } else {
      Out.ValueStart = r;
      while (r < n && !IsMarkupSpace(Text[r]) && Text[r] != '>') ++r;
      Out.ValueEnd = Out.End = r;
    }
    Q = Out.End;
  }
  return true;
}

// Html as an attribute's value text: "&" and quotes written as character
// references, in quotes of its own when the attribute had none.
std::string AttributeText(std::string_view Html, bool Quoted);

// Where the text of the raw-text element Name (lower case) that starts at
// From ends: at its end tag ("</name" followed by a blank, "/" or ">"), or
// the end of the text.
std::size_t RawTextEnd(std::string_view Text, std::string_view Name, std::size_t From);

}  // namespace leafstash
