#include "link_rewriter.h"

#include <cstring>
#include <unordered_map>

#include "text_utils.h"

namespace leafstash {
namespace {

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view Text) const { return std::hash<std::string_view>()(Text); }
};

using ReplacementMap = std::unordered_map<std::string, std::string, TextHash, std::equal_to<>>;

bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

}  // namespace

std::string RewriteLinks(std::string_view Text, const std::vector<TLinkPair>& Pairs) {
  ReplacementMap replacements;
  std::size_t longest = 0;
  for (const TLinkPair& pair : Pairs) {
    if (pair.Replacement.empty() || pair.FoundText.empty()) continue;
    if (replacements.emplace(pair.FoundText, pair.Replacement).second)
      longest = std::max(longest, pair.FoundText.size());
  }
  if (replacements.empty()) return std::string(Text);

  const std::size_t n = Text.size();
  // The end of the value that starts at From and ends before the first of
  // Ends, if it is not longer than the longest link text.
  const auto valueEnd = [&](std::size_t From, std::string_view Ends) -> std::size_t {
    const std::size_t limit = std::min(n, From + longest + 1);
    for (std::size_t k = From; k < limit; ++k)
      if (Ends.find(Text[k]) != std::string_view::npos) return k;
    return std::string_view::npos;
  };

  std::string out;
  out.reserve(n + n / 8);
  std::size_t copied = 0;  // Text[0, copied) is in out
  std::size_t i = 0;
  while (i < n) {
    const char c = Text[i];
    std::size_t from = std::string_view::npos, end = std::string_view::npos;
    if (c == '"' || c == '\'') {
      from = i + 1;
      end = valueEnd(from, c == '"' ? std::string_view("\"") : std::string_view("'"));
    } else if (c == '(') {
      from = i + 1;
      end = valueEnd(from, ")");
    } else if (c == '=') {
      from = i + 1;
      while (from < n && IsBlank(Text[from])) ++from;
      end = valueEnd(from, " >");
    }
    if (end != std::string_view::npos && end > from) {
      auto hit = replacements.find(Text.substr(from, end - from));
      if (hit != replacements.end()) {
        out.append(Text.data() + copied, from - copied);
        out.append(hit->second);
        copied = end;  // the end character is copied with what follows
        i = end + 1;
        continue;
      }
    }
    ++i;
  }
  out.append(Text.data() + copied, n - copied);
  return out;
}

std::string LocalNameAsLink(std::string_view LocalName) {
  return ReplaceAll(LocalName, "%", "%25");
}

}  // namespace leafstash
