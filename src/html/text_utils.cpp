#include "html/text_utils.h"

#include <cstring>

namespace leafstash {

CharSet MakeCharSet(std::string_view chars) {
  CharSet set;
  for (unsigned char c : chars) set.set(c);
  return set;
}

CharSet MakeCharSet(std::initializer_list<unsigned char> bytes) {
  CharSet set;
  for (unsigned char c : bytes) set.set(c);
  return set;
}

const CharSet& LocalNameStripSet() {
  static const CharSet set = [] {
    CharSet s = MakeCharSet(" \"'/:<=>?\\|");
    for (unsigned c = 1; c <= 31; ++c) s.set(c);
    return s;
  }();
  return set;
}

const CharSet& LinkStripSet() {
  static const CharSet set = MakeCharSet("\t\n\r");
  return set;
}

namespace {

// Offset of Needle in Haystack at or after From, or npos.
std::size_t FindFrom(std::string_view Needle, std::string_view Haystack,
                     std::size_t From) {
  if (Needle.empty() || From > Haystack.size() ||
      Haystack.size() - From < Needle.size())
    return std::string_view::npos;
  const void* hit = memmem(Haystack.data() + From, Haystack.size() - From,
                           Needle.data(), Needle.size());
  if (!hit) return std::string_view::npos;
  return static_cast<const char*>(hit) - Haystack.data();
}

}  // namespace

std::size_t FindSubstring(std::string_view Needle, std::string_view Haystack,
                          std::size_t Start) {
  if (Needle.empty() || Haystack.empty()) return 0;
  if (Start < 1) Start = 1;
  std::size_t at = FindFrom(Needle, Haystack, Start - 1);
  return at == std::string_view::npos ? 0 : at + 1;
}

std::string ReplaceAll(std::string_view Source, std::string_view Find,
                       std::string_view Replacement) {
  std::size_t count = 0;
  for (std::size_t at = FindFrom(Find, Source, 0); at != std::string_view::npos;
       at = FindFrom(Find, Source, at + Find.size()))
    ++count;
  if (count == 0) return std::string(Source);

  std::string result;
  result.resize(Source.size() - count * Find.size() + count * Replacement.size());
  char* out = result.data();
  std::size_t copied = 0;
  for (std::size_t at = FindFrom(Find, Source, 0); at != std::string_view::npos;
       at = FindFrom(Find, Source, at + Find.size())) {
    std::memcpy(out, Source.data() + copied, at - copied);
    out += at - copied;
    std::memcpy(out, Replacement.data(), Replacement.size());
    out += Replacement.size();
    copied = at + Find.size();
  }
  std::memcpy(out, Source.data() + copied, Source.size() - copied);
  return result;
}

void StripChars(std::string& Text, const CharSet& Set) {
  std::size_t kept = 0;
  for (unsigned char c : Text)
    if (!Set.test(c)) Text[kept++] = static_cast<char>(c);
  Text.resize(kept);
}

namespace {

// Calls Visit(begin, end) for each token; stops early when Visit returns false.
template <typename Visit>
void ForEachToken(std::string_view Text, std::string_view Delimiters,
                  Visit visit) {
  const CharSet delim = MakeCharSet(Delimiters);
  std::size_t i = 0;
  const std::size_t n = Text.size();
  while (i < n) {
    while (i < n && delim.test(static_cast<unsigned char>(Text[i]))) ++i;
    if (i == n) break;
    std::size_t start = i;
    while (i < n && !delim.test(static_cast<unsigned char>(Text[i]))) ++i;
    if (!visit(start, i)) return;
  }
}

}  // namespace

std::size_t CountTokens(std::string_view Text, std::string_view Delimiters) {
  std::size_t count = 0;
  ForEachToken(Text, Delimiters, [&](std::size_t, std::size_t) {
    ++count;
    return true;
  });
  return count;
}

std::string GetToken(std::size_t N, std::string_view Text,
                     std::string_view Delimiters) {
  std::string token;
  if (N == 0) return token;
  std::size_t seen = 0;
  ForEachToken(Text, Delimiters, [&](std::size_t b, std::size_t e) {
    if (++seen < N) return true;
    token.assign(Text.substr(b, e - b));
    return false;
  });
  return token;
}

std::string UpperCopy(std::string_view Text) {
  std::string out(Text.size(), '\0');
  const unsigned char* src = reinterpret_cast<const unsigned char*>(Text.data());
  char* dst = out.data();
  for (std::size_t i = 0, n = Text.size(); i < n; ++i) {
    const unsigned char c = src[i];
    dst[i] = static_cast<char>(c - ((c >= 'a' && c <= 'z') ? 32 : 0));
  }
  return out;
}

std::string LowerCopy(std::string_view Text) {
  std::string out(Text.size(), '\0');
  for (std::size_t i = 0; i < Text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(Text[i]);
    out[i] = static_cast<char>(IsAsciiUpper(c) ? c + 32 : c);
  }
  return out;
}

bool SameTextAscii(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(A[i]);
    unsigned char b = static_cast<unsigned char>(B[i]);
    if (IsAsciiLower(a)) a -= 32;
    if (IsAsciiLower(b)) b -= 32;
    if (a != b) return false;
  }
  return true;
}

std::string Trim(std::string_view Text) { return std::string(TrimView(Text)); }

std::vector<std::string> SplitLines(std::string_view Text) {
  std::vector<std::string> lines;
  ForEachLine(Text, [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

std::size_t Utf8SequenceLength(std::string_view Text, std::size_t Pos) {
  if (Pos >= Text.size()) return 0;
  const auto byte = [&](std::size_t k) {
    return static_cast<unsigned char>(Text[Pos + k]);
  };
  const unsigned char c = byte(0);
  if (c < 0x80) return 1;
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;         // no overlong forms
    if (c == 0xED) hi = 0x9F;         // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;         // no overlong forms
    if (c == 0xF4) hi = 0x8F;         // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (Text.size() - Pos < len) return 0;
  if (byte(1) < lo || byte(1) > hi) return 0;
  for (std::size_t k = 2; k < len; ++k)
    if ((byte(k) & 0xC0) != 0x80) return 0;
  return len;
}

void AppendUtf8(std::string& Out, std::uint32_t Cp) {
  if (Cp < 0x80) {
    Out += static_cast<char>(Cp);
  } else if (Cp < 0x800) {
    Out += static_cast<char>(0xC0 | (Cp >> 6));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else if (Cp < 0x10000) {
    Out += static_cast<char>(0xE0 | (Cp >> 12));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Cp >> 18));
    Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  }
}

std::string_view Utf8Prefix(std::string_view Text, std::size_t MaxBytes) {
  if (Text.size() <= MaxBytes) return Text;
  // Find the sequence that would be cut at MaxBytes: a lead byte at most
  // three bytes back whose valid sequence runs past the cut.
  for (std::size_t back = 1; back <= 3 && back <= MaxBytes; ++back) {
    std::size_t q = MaxBytes - back;
    unsigned char c = static_cast<unsigned char>(Text[q]);
    if ((c & 0xC0) == 0x80) continue;  // continuation byte: look further back
    std::size_t len = Utf8SequenceLength(Text, q);
    if (len > back) return Text.substr(0, q);
    break;
  }
  return Text.substr(0, MaxBytes);
}

}  // namespace leafstash
