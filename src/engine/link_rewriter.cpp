#include "engine/link_rewriter.h"

#include <algorithm>
#include <array>

namespace leafstash {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

using ByteSet = std::array<bool, 256>;

// Writes Text with every byte in Encoded as "%XX".
std::string PercentEncode(std::string_view Text, const ByteSet& Encoded) {
  std::string out;
  out.reserve(Text.size());
  for (const char c : Text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (!Encoded[b]) {
      out += c;
      continue;
    }
    out += '%';
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

constexpr ByteSet kNameEncoded = [] {
  ByteSet set{};
  for (int b = 0; b < 256; ++b) {
    const bool kept = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                      std::string_view("-._~!$*+;=@").find(static_cast<char>(b)) !=
                          std::string_view::npos;
    set[b] = !kept;
  }
  return set;
}();

constexpr ByteSet kAddressEncoded = [] {
  ByteSet set{};
  for (int b = 0; b <= 32; ++b) set[b] = true;
  for (int b = 127; b < 256; ++b) set[b] = true;
  for (char c : std::string_view("\"'<>\\^`{|}")) set[static_cast<unsigned char>(c)] = true;
  return set;
}();

}  // namespace

std::string ApplyEdits(std::string_view Text, std::vector<TEdit> Edits) {
  std::stable_sort(Edits.begin(), Edits.end(),
                   [](const TEdit& a, const TEdit& b) { return a.Offset < b.Offset; });
  std::string out;
  out.reserve(Text.size() + Text.size() / 8);
  std::size_t copied = 0;  // Text[0, copied) is in out
  for (const TEdit& edit : Edits) {
    if (edit.Offset < copied || edit.Offset + edit.Length > Text.size()) continue;
    out.append(Text.data() + copied, edit.Offset - copied);
    out += edit.Text;
    copied = edit.Offset + edit.Length;
  }
  out.append(Text.data() + copied, Text.size() - copied);
  return out;
}

std::string LocalNameAsLink(std::string_view LocalName) {
  return PercentEncode(LocalName, kNameEncoded);
}

std::string AddressAsLink(std::string_view Address) {
  return PercentEncode(Address, kAddressEncoded);
}

std::string LinkForContext(std::string_view Link, TRefContext Context) {
  std::string out;
  out.reserve(Link.size() + 8);
  const bool html = Context != TRefContext::Css;
  const bool css = Context != TRefContext::HtmlAttribute;
  for (const char c : Link) {
    if (html && c == '&') {
      out += "&amp;";
    } else if (css && (c == '(' || c == ')')) {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace leafstash
