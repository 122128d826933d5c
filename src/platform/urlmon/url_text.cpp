#include "url_text.h"

#include <curl/curl.h>

#include "text_utils.h"

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

std::string HostOf(std::string_view Address) {
  const std::size_t sep = Address.find("://");
  if (sep == std::string_view::npos) return {};
  std::string_view rest = Address.substr(sep + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  const std::size_t at = rest.rfind('@');
  if (at != std::string_view::npos) rest.remove_prefix(at + 1);
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    return LowerCopy(rest.substr(0, close == std::string_view::npos ? rest.size() : close + 1));
  }
  return LowerCopy(rest.substr(0, rest.find(':')));
}

}  // namespace leafstash
