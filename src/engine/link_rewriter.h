// Rewriting the links of a saved page in one pass over its text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace leafstash {

// One link reported while a page is rewritten: the text as it stands in the
// page, and what replaces it (empty: left alone).
struct TLinkPair {
  std::string FoundText;
  std::string Replacement;
};

// Replaces whole attribute and call values only: a FoundText of a pair with
// a Replacement is replaced where it stands between a quote and the same
// quote, after "=" (and blanks) up to a space or ">", or between "(" and
// ")". The text is walked once and what was written is never searched
// again; the first pair of a FoundText counts.
std::string RewriteLinks(std::string_view Text, const std::vector<TLinkPair>& Pairs);

// A local name as a link: each "%" written "%25", so that a browser reading
// the link finds the file.
std::string LocalNameAsLink(std::string_view LocalName);

}  // namespace leafstash
