#include "link_rewriter.h"

#include <array>
#include <bitset>
#include <cstring>
#include <unordered_map>

#include "text_utils.h"

namespace leafstash {
namespace {

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view Text) const { return std::hash<std::string_view>()(Text); }
};

// Keys and values point into the pairs, which outlive the rewrite.
using ReplacementMap =
    std::unordered_map<std::string_view, const std::string*, TextHash, std::equal_to<>>;

// The bytes at which a value may start.
constexpr std::array<bool, 256> kValueStart = [] {
  std::array<bool, 256> start{};
  for (unsigned char c : std::string_view("\"'(=")) start[c] = true;
  return start;
}();

std::size_t EndsKey(char First, char Last) {
  return static_cast<unsigned char>(First) << 8 | static_cast<unsigned char>(Last);
}

bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

// Bytes trimmed from the ends of a link: those of value 32 or less.
bool IsTrimmed(char C) { return static_cast<unsigned char>(C) <= 32; }

// How many blanks may follow a link inside its quotes.
constexpr std::size_t kTrailingBlanks = 16;

}  // namespace

std::string RewriteLinks(std::string_view Text, const std::vector<TLinkPair>& Pairs) {
  ReplacementMap replacements;
  replacements.reserve(Pairs.size());
  std::size_t longest = 0;
  // Quick tests before a lookup: the first and last bytes and the lengths
  // of the link texts.
  std::vector<bool> ends(65536);
  std::vector<bool> lengths;
  for (const TLinkPair& pair : Pairs) {
    if (pair.Replacement.empty() || pair.FoundText.empty()) continue;
    if (!replacements.emplace(pair.FoundText, &pair.Replacement).second) continue;
    longest = std::max(longest, pair.FoundText.size());
    ends[EndsKey(pair.FoundText.front(), pair.FoundText.back())] = true;
    if (lengths.size() <= pair.FoundText.size()) lengths.resize(pair.FoundText.size() + 1);
    lengths[pair.FoundText.size()] = true;
  }
  if (replacements.empty()) return std::string(Text);

  const std::size_t n = Text.size();
  // The end of the value that starts at From: the first End (or, with
  // Space, the first space too) no further than the longest link text.
  const auto valueEnd = [&](std::size_t From, char End, bool Space) -> std::size_t {
    const std::size_t limit = std::min(n, From + longest + 1 + kTrailingBlanks);
    for (std::size_t k = From; k < limit; ++k) {
      const char c = Text[k];
      if (c == End || (Space && c == ' ')) return k;
    }
    return std::string_view::npos;
  };

  std::string out;
  out.reserve(n + n / 8);
  std::size_t copied = 0;  // Text[0, copied) is in out
  std::size_t i = 0;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(Text.data());
  while (i < n) {
    while (i < n && !kValueStart[bytes[i]]) ++i;
    if (i >= n) break;
    const char c = Text[i];
    std::size_t from = 0, end = std::string_view::npos;
    std::size_t close = 0;  // the end character
    if (c == '"' || c == '\'' || c == '(') {
      // Blanks just inside the quotes or parentheses are not part of the
      // link; the scanner trims them too.
      from = i + 1;
      while (from < n && IsTrimmed(Text[from])) ++from;
      end = close = valueEnd(from, c == '(' ? ')' : c, false);
      if (end != std::string_view::npos)
        while (end > from && IsTrimmed(Text[end - 1])) --end;
    } else if (c == '=') {
      from = i + 1;
      while (from < n && IsBlank(Text[from])) ++from;
      end = close = valueEnd(from, '>', true);
    }
    if (end != std::string_view::npos && end > from && end - from < lengths.size() &&
        lengths[end - from] &&
        ends[EndsKey(Text[from], Text[end - 1])]) {
      auto hit = replacements.find(Text.substr(from, end - from));
      if (hit != replacements.end()) {
        out.append(Text.data() + copied, from - copied);
        out.append(*hit->second);
        copied = end;  // trailing blanks and the end character follow
        i = close + 1;
        continue;
      }
    }
    ++i;
  }
  out.append(Text.data() + copied, n - copied);
  return out;
}

std::string LocalNameAsLink(std::string_view LocalName) {
  if (LocalName.find('%') == std::string_view::npos) return std::string(LocalName);
  return ReplaceAll(LocalName, "%", "%25");
}

}  // namespace leafstash
