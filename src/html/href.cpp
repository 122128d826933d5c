#include "html/href.h"

#include "html/text_utils.h"

namespace leafstash {

std::string NormalizeAddress(std::string_view Text) {
  const std::string_view t = TrimView(Text);
  std::string out;
  out.reserve(t.size());
  for (std::size_t i = 0; i < t.size();) {
    const char c = t[i];
    if (c == '/' && t.compare(i, 3, "/./") == 0) {
      out += '/';
      i += 3;
      continue;
    }
    out += c == '\\' ? '/' : c == '\'' ? '"' : c;
    ++i;
  }
  return out;
}

namespace {

int HexValue(char c) { return HexDigitValue(static_cast<unsigned char>(c)); }

}  // namespace

std::string DecodeEscapes(std::string_view Text) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size();) {
    const char c = Text[i];
    if (c != '%') {
      out += c == '+' ? ' ' : c;
      ++i;
      continue;
    }
    if (Text.size() - i >= 3) {
      const int hi = HexValue(Text[i + 1]), lo = HexValue(Text[i + 2]);
      if (hi >= 0 && lo >= 0 && (hi | lo) != 0)
        out += static_cast<char>(hi * 16 + lo);
    }
    i += 3;  // at the end this consumes only what is left
  }
  return out;
}

THREF::THREF(std::string_view Address) {
  if (!Address.empty()) SetAddress(Address);
}

THREF::THREF(const THREF& Other) { Assign(Other); }

THREF& THREF::operator=(const THREF& Other) {
  if (this != &Other) Assign(Other);
  return *this;
}

void THREF::Assign(const THREF& Other) {
  const std::string composed = Other.ComposeAddress();
  Clear();
  if (!composed.empty()) SetAddress(composed);
}

void THREF::Clear() {
  for (std::string* field :
       {&UserName, &HomePrefix, &Password, &FileName, &Extension,
        &ExtensionKey, &Query, &Scheme, &Address, &Port, &DefaultPort, &Path,
        &Host, &Fragment})
    field->clear();
}

void THREF::SetAddress(std::string_view Text) {
  // Every field starts empty, so nothing of an earlier address survives.
  Clear();
  Address = NormalizeAddress(TrimView(Text));
  SplitAddress(Address);
  ExtensionKey = UpperCopy(Extension) + ".";
}

namespace {

std::string DefaultPortOf(std::string_view Scheme) {
  static constexpr struct { std::string_view scheme, port; } kPorts[] = {
      {"HTTP", "80"},  {"HTTPS", "443"}, {"NEWS", "119"},  {"NNTP", "119"},
      {"FTP", "21"},   {"GOPHER", "70"}, {"TELNET", "23"},
  };
  const std::string upper = UpperCopy(Scheme);
  for (const auto& entry : kPorts)
    if (entry.scheme == upper) return std::string(entry.port);
  return {};
}

}  // namespace

void THREF::SplitAddress(std::string T) {
  if (T.empty()) return;
  T = NormalizeAddress(T);

  const std::size_t colon = T.find(':');
  const bool hasSchemePart =
      colon != std::string::npos &&
      T.find_first_of("#./") > colon;  // none of them up to the colon
  // A single letter before the colon is a drive letter, not a scheme.
  if (hasSchemePart && colon >= 2) {
    Scheme = T.substr(0, colon + 1);
    DefaultPort = DefaultPortOf(T.substr(0, colon));
    T.erase(0, colon + 1);
  }
  if (hasSchemePart && T.compare(0, 2, "//") == 0) {
    Scheme += "//";
    T.erase(0, 2);
    const std::size_t slash = T.find('/');
    if (slash == std::string::npos) {
      Host = T;
      T.clear();
    } else if (slash >= 3) {
      // Hosts shorter than three characters are not taken apart, so
      // "file:///c:/x" and "file://c:/x" keep the drive in the path.
      Host = T.substr(0, slash);
      T.erase(0, slash);
    }
    const std::size_t at = Host.find('@');
    if (at != std::string::npos) {
      const std::string userInfo = Host.substr(0, at);
      Host.erase(0, at + 1);
      const std::size_t sep = userInfo.find(':');
      UserName = userInfo.substr(0, sep);
      if (sep != std::string::npos) Password = userInfo.substr(sep + 1);
    }
    const std::size_t portSep = Host.rfind(':');
    if (portSep != std::string::npos) {
      Port = Host.substr(portSep + 1);
      Host.erase(portSep);
    }
  }

  const std::size_t hash = T.rfind('#');
  if (hash != std::string::npos) {
    Fragment = T.substr(hash + 1);
    T.erase(hash);
  }
  const std::size_t question = T.rfind('?');
  if (question != std::string::npos) {
    Query = T.substr(question + 1);
    T.erase(question);
  }
  const std::size_t lastSlash = T.rfind('/');
  if (lastSlash != std::string::npos) {
    FileName = T.substr(lastSlash + 1);
    Path = T.substr(0, lastSlash + 1);
  } else {
    FileName = T;
  }
  FileName = DecodeEscapes(FileName);
  Path = DecodeEscapes(Path);

  if (Path.compare(0, 2, "/~") == 0) {
    const std::string rest = Path.substr(2);
    const std::size_t slash = rest.find('/');
    HomePrefix = "/~" + rest.substr(0, slash);
    Path = slash == std::string::npos ? std::string() : rest.substr(slash);
  }

  const std::size_t dot = FileName.rfind('.');
  if (dot != std::string::npos &&
      FileName.find_first_of("\\:", dot) == std::string::npos)
    Extension = FileName.substr(dot);
}

std::string THREF::ComposeAddress() const {
  std::string out = Scheme;
  if (!UserName.empty()) {
    out += UserName;
    if (!Password.empty()) out += ":" + Password;
    out += "@";
  }
  out += Host;
  if (!Port.empty()) out += ":" + Port;
  out += HomePrefix;
  out += Path;
  out += FileName;
  if (!Query.empty()) out += "?" + Query;
  return out;
}

THREFKind THREF::GetKind() const {
  if (!Host.empty() && FileName.empty()) return THREFKind::Folder;
  if (ExtensionKey.size() <= 1) return THREFKind::Unknown;
  static constexpr struct { std::string_view list; THREFKind kind; } kLists[] = {
      {".HTM.HTML.HTA.SHTML.DHTML.PHTML.", THREFKind::Page},
      {".JS.VBS.", THREFKind::Script},
      {".CSS.", THREFKind::StyleSheet},
      {".JPG.JPEG.GIF.TIF.BMP.", THREFKind::Picture},
      {".PHP.PHP3.PHP4.INC.", THREFKind::PhpPage},
      {".ASP.ASPX.", THREFKind::AspPage},
      {".PL.CGI.", THREFKind::CgiScript},
      {".JAVA.CLASS.JSP.", THREFKind::Applet},
      {".CAB.DLL.OCX.ZIP.", THREFKind::Binary},
  };
  for (const auto& entry : kLists)
    if (entry.list.find(ExtensionKey) != std::string_view::npos)
      return entry.kind;
  return THREFKind::Unknown;
}

}  // namespace leafstash
