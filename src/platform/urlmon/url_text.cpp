#include "platform/urlmon/url_text.h"

#include <algorithm>

#include <curl/curl.h>

#include "html/text_utils.h"

namespace leafstash {
namespace {

bool NeedsEncoding(unsigned char c) {
  if (c <= 32 || c >= 0x7F) return true;
  switch (c) {
    case '"': case '<': case '>': case '\\': case '^': case '`': case '{': case '|': case '}':
      return true;
    default:
      return false;
  }
}

std::string EncodeAfterHost(std::string_view Address) {
  std::size_t start = 0;
  const std::size_t sep = Address.find("://");
  if (sep != std::string_view::npos) {
    start = Address.find_first_of("/?#", sep + 3);
    if (start == std::string_view::npos) start = Address.size();
  }
  static const char* hex = "0123456789ABCDEF";
  std::string out(Address.substr(0, start));
  for (std::size_t i = start; i < Address.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(Address[i]);
    const bool strayPercent =
        c == '%' && !(i + 2 < Address.size() &&
                      HexDigitValue(static_cast<unsigned char>(Address[i + 1])) >= 0 &&
                      HexDigitValue(static_cast<unsigned char>(Address[i + 2])) >= 0);
    if (NeedsEncoding(c) || strayPercent) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> RequestUrl(std::string_view Address) {
  const std::string trimmed(TrimView(Address));
  if (trimmed.empty()) return std::nullopt;
  const std::string encoded = EncodeAfterHost(trimmed);
  CURLU* url = curl_url();
  if (!url) return std::nullopt;
  std::optional<std::string> result;
  if (curl_url_set(url, CURLUPART_URL, encoded.c_str(), 0) == CURLUE_OK) {
    char* text = nullptr;
    if (curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK && text) result = text;
    curl_free(text);
  }
  curl_url_cleanup(url);
  return result;
}

std::string SchemeOf(std::string_view Address) {
  const std::size_t colon = Address.find(':');
  if (colon == std::string_view::npos) return {};
  return LowerCopy(Address.substr(0, colon));
}

namespace {

// The host and port of an address, without a user name; empty when the
// address has no "://".
std::string_view AuthorityOf(std::string_view Address) {
  const std::size_t sep = Address.find("://");
  if (sep == std::string_view::npos) return {};
  std::string_view rest = Address.substr(sep + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  const std::size_t at = rest.rfind('@');
  if (at != std::string_view::npos) rest.remove_prefix(at + 1);
  return rest;
}

// Where the host of an authority ends: after "]" for a bracketed address.
std::size_t HostEnd(std::string_view Authority) {
  if (!Authority.empty() && Authority.front() == '[') {
    const std::size_t close = Authority.find(']');
    return close == std::string_view::npos ? Authority.size() : close + 1;
  }
  return std::min(Authority.size(), Authority.find(':'));
}

}  // namespace

std::string HostOf(std::string_view Address) {
  const std::string_view authority = AuthorityOf(Address);
  return LowerCopy(authority.substr(0, HostEnd(authority)));
}

std::string OriginOf(std::string_view Address) {
  const std::string scheme = SchemeOf(Address);
  const std::string_view authority = AuthorityOf(Address);
  const std::size_t hostEnd = HostEnd(authority);
  std::string port;
  if (hostEnd < authority.size() && authority[hostEnd] == ':')
    port = std::string(authority.substr(hostEnd + 1));
  if (port.empty()) port = scheme == "https" ? "443" : scheme == "http" ? "80" : "";
  return scheme + "://" + LowerCopy(authority.substr(0, hostEnd)) + ":" + port;
}

std::string ReferrerFor(std::string_view Page, std::string_view Target) {
  const std::string scheme = SchemeOf(Page);
  if (scheme != "http" && scheme != "https") return {};
  // Never a header that a line break would end early.
  if (std::any_of(Page.begin(), Page.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }))
    return {};
  if (scheme == "https" && SchemeOf(Target) != "https") return {};
  const std::string_view authority = AuthorityOf(Page);
  if (authority.empty()) return {};
  if (OriginOf(Page) != OriginOf(Target)) return scheme + "://" + std::string(authority) + "/";
  // The whole address, but for a user name and the fragment.
  const std::size_t hostStart = Page.find("://") + 3;
  const std::size_t pathStart = std::min(Page.size(), Page.find_first_of("/?#", hostStart));
  std::string_view rest = Page.substr(pathStart);
  rest = rest.substr(0, rest.find('#'));
  return scheme + "://" + std::string(authority) + (rest.empty() || rest[0] != '/' ? "/" : "") +
         std::string(rest);
}

}  // namespace leafstash
