#include "html/url_utils.h"

#include <algorithm>
#include <cstdint>

#include "html/text_utils.h"

namespace leafstash {

std::string StripFragment(std::string_view Url) {
  return std::string(Url.substr(0, Url.find('#')));
}

std::string GetFragment(std::string_view Url) {
  std::size_t hash = Url.find('#');
  return hash == std::string_view::npos ? std::string()
                                        : std::string(Url.substr(hash));
}

namespace {

// Offset of the first byte after the first "://", 0 when there is none.
std::size_t PathSearchStart(std::string_view Url) {
  std::size_t p = Url.find("://");
  return p == std::string_view::npos ? 0 : p + 3;
}

}  // namespace

UrlPathParts SplitUrlPath(std::string_view Url) {
  UrlPathParts parts;
  const std::size_t start = PathSearchStart(Url);
  const std::size_t first = Url.find('/', start);
  if (first == std::string_view::npos) {
    parts.Middle = std::string(Url);
    return parts;
  }
  const std::size_t last = Url.rfind('/');
  parts.Root = std::string(Url.substr(0, first + 1));
  parts.Middle = std::string(Url.substr(first + 1, last - first));
  parts.Last = std::string(Url.substr(last + 1));
  return parts;
}

std::string GetSiteRoot(std::string_view Url) { return SplitUrlPath(Url).Root; }

std::string GetBaseDirectory(std::string_view Url) {
  UrlPathParts parts = SplitUrlPath(Url);
  return parts.Root + parts.Middle;
}

std::string GetLastSegment(std::string_view Url) {
  return SplitUrlPath(Url).Last;
}

namespace {

bool IsAddressChar(unsigned char c) {
  if (c >= 0x80) return true;  // every byte of a UTF-8 character
  if (IsAsciiLetter(c) || IsAsciiDigit(c)) return true;
  switch (c) {
    case ' ': case '-': case '.': case '/': case ':': case '\\': case '_':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string GetUrlExtension(std::string_view Url) {
  std::size_t cut = 0;
  while (cut < Url.size() && IsAddressChar(static_cast<unsigned char>(Url[cut])))
    ++cut;
  const std::string last = GetLastSegment(Url.substr(0, cut));
  const std::size_t dot = last.rfind('.');
  if (dot == std::string::npos) return {};
  if (last.find_first_of("\\:", dot) != std::string::npos) return {};
  return last.substr(dot + 1);
}

bool HasUrlScheme(std::string_view Link) {
  if (Link.empty() || !IsAsciiLetter(static_cast<unsigned char>(Link[0])))
    return false;
  std::size_t i = 1;
  for (; i < Link.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(Link[i]);
    bool schemeChar = IsAsciiLetter(c) || IsAsciiDigit(c) || c == '+' ||
                      c == '-' || c == '.';
    if (!schemeChar) break;
  }
  return i >= 2 && i < Link.size() && Link[i] == ':';
}

TUrlBase::TUrlBase(std::string_view Base) : Address(Base) {
  for (char& c : Address)
    if (c == '\\') c = '/';
  if (HasUrlScheme(Address)) Scheme = Address.substr(0, Address.find(':') + 1);
  // The directory comes from the address without its query and fragment;
  // a host without a path stands for its root folder.
  std::string dirBase = Address.substr(0, Address.find_first_of("?#"));
  const std::size_t hostStart = PathSearchStart(dirBase);
  if (hostStart > 0 && hostStart < dirBase.size() &&
      dirBase.find('/', hostStart) == std::string::npos)
    dirBase += '/';
  Document = dirBase;
  UrlPathParts parts = SplitUrlPath(dirBase);
  Root = std::move(parts.Root);
  Directory = Root + parts.Middle;
}

std::string ResolveUrl(std::string_view Base, std::string_view Link) {
  return ResolveUrl(TUrlBase(Base), Link);
}

void ResolveUrlInto(const TUrlBase& Base, std::string_view Link, std::string& result) {
  result.clear();
  if (Link.empty()) return;
  if (Base.Address.empty()) {
    result.assign(Link);
    return;
  }
  std::string copy;
  std::string_view link = Link;
  if (Link.find('\\') != std::string_view::npos) {
    copy.assign(Link);
    for (char& c : copy)
      if (c == '\\') c = '/';
    link = copy;
  }

  // http and https links are absolute when "://" follows the scheme; any
  // other scheme makes a link absolute as it stands.
  const std::size_t sep = link.find("://");
  if (sep == 4 || sep == 5) return void(result.assign(link));
  if (HasUrlScheme(link)) {
    const std::string scheme = LowerCopy(link.substr(0, link.find(':')));
    if (scheme != "http" && scheme != "https") return void(result.assign(link));
  }
  if (link.substr(0, 2) == "//") {
    result.assign(Base.Scheme).append(link);
    return;
  }

  result.reserve(Base.Directory.size() + link.size());
  std::string_view rest = link;
  if (rest.front() == '/') {
    result.assign(Base.Root);
    rest.remove_prefix(1);
  } else if (TrimView(rest.substr(0, rest.find('#'))).empty()) {
    result.assign(Base.Address);
  } else if (rest.front() == '?') {
    // A query alone stays on the page: its query is replaced.
    result.assign(Base.Document);
  } else {
    result.assign(Base.Directory);
  }

  // The path's "." segments go and its ".." segments climb, never above
  // the site root; the query and fragment stay as written.
  const std::size_t pathEnd = std::min(rest.find_first_of("?#"), rest.size());
  const std::string_view tail = rest.substr(pathEnd);
  rest = rest.substr(0, pathEnd);
  const std::size_t floor = Base.Root.size();
  while (true) {
    const std::size_t slash = rest.find('/');
    const bool last = slash == std::string_view::npos;
    const std::string_view segment = last ? rest : rest.substr(0, slash + 1);
    rest.remove_prefix(segment.size());
    if (segment == "../" || segment == "..") {
      if (result.size() > floor) {
        result.pop_back();
        const std::size_t at = result.rfind('/');
        std::size_t keep = at == std::string::npos ? 0 : at + 1;
        if (keep < floor) keep = floor;
        result.resize(keep);
      }
    } else if (segment != "./" && segment != ".") {
      result += segment;
    }
    if (last) break;
  }
  result += tail;
}

std::string ResolveUrl(const TUrlBase& Base, std::string_view Link) {
  std::string result;
  ResolveUrlInto(Base, Link, result);
  return result;
}

std::string TitleToFolderName(std::string_view Title) {
  std::string out;
  out.reserve(Title.size());
  std::size_t i = 0;
  while (i < Title.size()) {
    const unsigned char c = static_cast<unsigned char>(Title[i]);
    if (c < 0x80) {
      if (c == ' ' || c == '-' || c == '_' || IsAsciiDigit(c) ||
          IsAsciiLetter(c))
        out += static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t len = Utf8SequenceLength(Title, i);
    if (len == 0) {
      ++i;  // a byte of a broken sequence
      continue;
    }
    out.append(Title.substr(i, len));
    i += len;
  }
  // Short enough to be a file name with ".URL" after it.
  out.resize(Utf8Prefix(out, kMaxFolderNameBytes).size());
  return out;
}

namespace {

// Decodes the character reference that starts with the "&" at Text[0];
// returns how many bytes it takes (0 when it is not one we decode).
std::size_t DecodeReference(std::string_view Text, std::string& out) {
  static constexpr struct { std::string_view name; char ch; } kNamed[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'},
      {"&apos;", '\''}};
  for (const auto& ref : kNamed) {
    if (Text.substr(0, ref.name.size()) == ref.name) {
      out += ref.ch;
      return ref.name.size();
    }
  }
  if (Text.size() < 4 || Text[1] != '#') return 0;
  const bool hex = Text[2] == 'x' || Text[2] == 'X';
  std::size_t i = hex ? 3 : 2;
  const std::size_t digitsStart = i;
  std::uint32_t cp = 0;
  while (i < Text.size() && i - digitsStart < 8) {
    const unsigned char c = static_cast<unsigned char>(Text[i]);
    const int d = hex ? HexDigitValue(c) : IsAsciiDigit(c) ? c - '0' : -1;
    if (d < 0) break;
    cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    ++i;
  }
  if (i == digitsStart || i >= Text.size() || Text[i] != ';') return 0;
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  AppendUtf8(out, cp);
  return i + 1;
}

}  // namespace

bool IsCleanLink(std::string_view Link) {
  if (Link.empty() || static_cast<unsigned char>(Link.front()) <= 32 ||
      static_cast<unsigned char>(Link.back()) <= 32)
    return false;
  for (char c : Link)
    if (c == '\t' || c == '\n' || c == '\r' || c == '&') return false;
  return true;
}

std::string DecodeCharacterReferences(std::string_view Text) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size();) {
    if (Text[i] == '&') {
      if (std::size_t used = DecodeReference(Text.substr(i), out)) {
        i += used;
        continue;
      }
    }
    out += Text[i++];
  }
  return out;
}

std::string CleanLink(std::string_view Link) {
  if (IsCleanLink(Link)) return std::string(Link);  // most links need nothing
  std::string stripped(Link);
  StripChars(stripped, LinkStripSet());
  return DecodeCharacterReferences(TrimView(stripped));
}

namespace {

bool ContainsNoCase(std::string_view Text, std::string_view LowerNeedle) {
  return LowerCopy(Text).find(LowerNeedle) != std::string::npos;
}

bool StartsWithNoCase(std::string_view Text, std::string_view Prefix) {
  return Text.size() >= Prefix.size() &&
         SameTextAscii(Text.substr(0, Prefix.size()), Prefix);
}

}  // namespace

std::string EncodeAddress(std::string_view Address) {
  const auto encoded = [](unsigned char c) {
    return c <= 32 || c >= 127 || c == '"' || c == '<' || c == '>' || c == '`' || c == '{' ||
           c == '}';
  };
  const auto lowerHex = [](char c) { return c >= 'a' && c <= 'f'; };
  bool clean = true;
  for (std::size_t i = 0; i < Address.size() && clean; ++i)
    clean = !encoded(static_cast<unsigned char>(Address[i])) &&
            !(Address[i] == '%' && i + 2 < Address.size() &&
              (lowerHex(Address[i + 1]) || lowerHex(Address[i + 2])));
  if (clean) return std::string(Address);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(Address.size() + 16);
  for (std::size_t i = 0; i < Address.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(Address[i]);
    if (b == '%' && i + 2 < Address.size() && HexDigitValue(Address[i + 1]) >= 0 &&
        HexDigitValue(Address[i + 2]) >= 0) {
      // An escape's hex digits in upper case: "%c3" and "%C3" are one byte.
      out += '%';
      out += kHex[HexDigitValue(Address[i + 1])];
      out += kHex[HexDigitValue(Address[i + 2])];
      i += 2;
    } else if (!encoded(b)) {
      out += Address[i];
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::string DecodePercent(std::string_view Text, bool OnlyNonAscii) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '%' && i + 2 < Text.size()) {
      const int high = HexDigitValue(static_cast<unsigned char>(Text[i + 1]));
      const int low = HexDigitValue(static_cast<unsigned char>(Text[i + 2]));
      if (high >= (OnlyNonAscii ? 8 : 0) && low >= 0 && (high | low) != 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += Text[i];
  }
  return out;
}

std::string WithoutCredentials(std::string_view Url) {
  const std::size_t scheme = Url.find("://");
  if (scheme == std::string_view::npos) return std::string(Url);
  const std::size_t start = scheme + 3;
  const std::size_t end = std::min(Url.find_first_of("/?#", start), Url.size());
  const std::size_t at = Url.substr(start, end - start).rfind('@');
  if (at == std::string_view::npos) return std::string(Url);
  return std::string(Url.substr(0, start)) + std::string(Url.substr(start + at + 1));
}

bool IsNotMailto(std::string_view Url) { return !ContainsNoCase(Url, "mailto:"); }

bool IsNotScript(std::string_view Url) { return !ContainsNoCase(Url, "script:"); }

bool IsHttpUrl(std::string_view Url) {
  return StartsWithNoCase(Url, "http://") || StartsWithNoCase(Url, "https://");
}

}  // namespace leafstash
