// Reading tags as a browser's tokenizer reads them: a start tag's name and
// attributes (names and values by the HTML rules), and where the text of
// a raw-text element (script, style, ...) ends. Shared by the scanners
// that read pages and the one that makes a page inert.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// Where the name of a start tag that begins at P (after its "<") ends.
std::size_t TagNameEnd(std::string_view Text, std::size_t P);

// Reads the attribute that follows Q in a tag into Out; returns false at
// the tag's end, with Q at the offset after its ">" (SelfClosing: it ends
// with "/>") or npos when the text ends inside the tag.
bool NextTagAttribute(std::string_view Text, std::size_t& Q, TTagAttribute& Out,
                      bool& SelfClosing);

// Html as an attribute's value text: "&" and quotes written as character
// references, in quotes of its own when the attribute had none.
std::string AttributeText(std::string_view Html, bool Quoted);

// Where the text of the raw-text element Name (lower case) that starts at
// From ends: at its end tag ("</name" followed by a blank, "/" or ">"), or
// the end of the text.
std::size_t RawTextEnd(std::string_view Text, std::string_view Name, std::size_t From);

}  // namespace leafstash
