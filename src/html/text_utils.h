// Byte-exact text helpers shared by the scanner, the URL table and the
// link rewriting: substring search, replace-all, character stripping and
// delimiter-separated tokens. Positions handed in and out are 1-based.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace leafstash {

// A set of byte values, tested by table lookup.
using CharSet = std::bitset<256>;

CharSet MakeCharSet(std::string_view chars);
CharSet MakeCharSet(std::initializer_list<unsigned char> bytes);

// Bytes removed from a name made from an address before it becomes a local
// file name: 1-31, space, the quotes, "/", ":", "<", "=", ">", "?", "\" and "|".
const CharSet& LocalNameStripSet();
// Bytes removed from a reported hyperlink before it is resolved: TAB, LF, CR.
const CharSet& LinkStripSet();

// Position (1-based) of the first occurrence of Needle in Haystack that begins
// at Start or later; 0 when there is none or either text is empty.
std::size_t FindSubstring(std::string_view Needle, std::string_view Haystack,
                          std::size_t Start);

// Source with every non-overlapping occurrence of Find, left to right,
// replaced by Replacement. The result is allocated once.
std::string ReplaceAll(std::string_view Source, std::string_view Find,
                       std::string_view Replacement);

// Removes, in place, every byte of Text that belongs to Set.
void StripChars(std::string& Text, const CharSet& Set);

// A token is a maximal run of bytes none of which occurs in Delimiters.
// With empty Delimiters a non-empty Text is one token.
std::size_t CountTokens(std::string_view Text, std::string_view Delimiters);
// The N-th token (N from 1); empty when Text has fewer than N tokens.
std::string GetToken(std::size_t N, std::string_view Text,
                     std::string_view Delimiters);

inline bool IsAsciiLower(unsigned char c) { return c >= 'a' && c <= 'z'; }
inline bool IsAsciiUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
inline bool IsAsciiLetter(unsigned char c) { return IsAsciiLower(c) || IsAsciiUpper(c); }
inline bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// The blanks of HTML and CSS: space, tab, line feed, form feed, return.
inline bool IsMarkupSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
// Value of a hexadecimal digit, -1 for any other byte.
inline int HexDigitValue(unsigned char c) {
  if (IsAsciiDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Copy with only the ASCII letters a-z upper-cased; same length, so
// positions in the copy match positions in the original.
std::string UpperCopy(std::string_view Text);
std::string LowerCopy(std::string_view Text);
// Case-insensitive comparison folding only the ASCII letters.
bool SameTextAscii(std::string_view A, std::string_view B);

// Removes leading and trailing bytes of value 32 or less.
inline std::string_view TrimView(std::string_view Text) {
  std::size_t b = 0, e = Text.size();
  while (b < e && static_cast<unsigned char>(Text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(Text[e - 1]) <= 32) --e;
  return Text.substr(b, e - b);
}
std::string Trim(std::string_view Text);

// Calls Visit(line) for each line of Text, without its line break; CR LF,
// a lone LF and a lone CR each end a line, and a break at the very end
// starts no further line ("a\r\n" is one line, "" none).
template <typename Visit>
void ForEachLine(std::string_view Text, Visit visit) {
  constexpr std::size_t none = std::string_view::npos;
  const std::size_t n = Text.size();
  std::size_t pos = 0, nextCR = Text.find('\r'), nextLF = Text.find('\n');
  while (pos < n) {
    if (nextCR != none && nextCR < pos) nextCR = Text.find('\r', pos);
    if (nextLF != none && nextLF < pos) nextLF = Text.find('\n', pos);
    const std::size_t brk = nextCR < nextLF ? nextCR : nextLF;
    if (brk == none) {
      visit(Text.substr(pos));
      return;
    }
    visit(Text.substr(pos, brk - pos));
    pos = brk + ((Text[brk] == '\r' && brk + 1 < n && Text[brk + 1] == '\n') ? 2 : 1);
  }
}

std::vector<std::string> SplitLines(std::string_view Text);

// Length of the valid UTF-8 sequence that starts at Text[Pos]
// (1 for ASCII), or 0 when the bytes there are not a valid sequence
// (stray continuation byte, overlong form, surrogate, beyond U+10FFFF,
// truncated).
std::size_t Utf8SequenceLength(std::string_view Text, std::size_t Pos);

// Appends the UTF-8 form of code point Cp (below 0x110000).
void AppendUtf8(std::string& Out, std::uint32_t Cp);

// Longest prefix of Text of at most MaxBytes bytes that does not end inside
// a multi-byte UTF-8 sequence.
std::string_view Utf8Prefix(std::string_view Text, std::size_t MaxBytes);

}  // namespace leafstash
