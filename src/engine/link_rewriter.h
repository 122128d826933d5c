// Writing links into a saved page or style sheet: edits by byte range, and
// local names and addresses written so that a browser reads them back as
// the same file or address wherever they stand.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "html/page_refs.h"

namespace leafstash {

// One change of a text: the bytes [Offset, Offset + Length) become Text.
struct TEdit {
  std::size_t Offset = 0;
  std::size_t Length = 0;
  std::string Text;
};

// The text with the edits made, in offset order; an edit that overlaps one
// before it is left out.
std::string ApplyEdits(std::string_view Text, std::vector<TEdit> Edits);

// A local name as a relative link: every byte other than letters, digits
// and "-._~!$*+;=@" percent-encoded (UTF-8 bytes too), so that no "%",
// "?", "#", blank, quote, comma or parenthesis of the name is read as part
// of the link's syntax.
std::string LocalNameAsLink(std::string_view LocalName);

// An absolute address as a link: blanks, quotes, "<", ">", "\", "^", "`",
// "{", "|", "}", control and non-ASCII bytes percent-encoded; "%" and the
// rest stay, so the address means what it meant.
std::string AddressAsLink(std::string_view Address);

// A link as it must be written where the reference stands: "&" as "&amp;"
// inside attributes, "(" and ")" escaped in CSS.
std::string LinkForContext(std::string_view Link, TRefContext Context);

}  // namespace leafstash
