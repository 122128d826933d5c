#include "platform/urlmon/session_cookies.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <libpsl.h>
#include <mutex>

#include "html/text_utils.h"

namespace leafstash {
namespace {

constexpr std::string_view kHttpOnlyPrefix = "#HttpOnly_";
constexpr TCookieContext kContexts[] = {TCookieContext::SameSite,
                                        TCookieContext::CrossSiteNavigation,
                                        TCookieContext::CrossSiteResource};

struct TUrlParts {
  std::string Scheme, Host, Path;
};

TUrlParts PartsOf(std::string_view Url) {
  TUrlParts parts;
  CURLU* url = curl_url();
  if (!url) return parts;
  const std::string text(Url);
  if (curl_url_set(url, CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK) {
    const auto get = [&](CURLUPart Part, std::string& Out) {
      char* value = nullptr;
      if (curl_url_get(url, Part, &value, 0) == CURLUE_OK && value) Out = value;
      curl_free(value);
    };
    get(CURLUPART_SCHEME, parts.Scheme);
    get(CURLUPART_HOST, parts.Host);
    get(CURLUPART_PATH, parts.Path);
  }
  curl_url_cleanup(url);
  parts.Scheme = LowerCopy(parts.Scheme);
  parts.Host = LowerCopy(parts.Host);
  return parts;
}

bool IsIpAddress(std::string_view Host) {
  if (!Host.empty() && Host.front() == '[') return true;
  return !Host.empty() && std::all_of(Host.begin(), Host.end(), [](char c) {
    return c == '.' || IsAsciiDigit(static_cast<unsigned char>(c));
  });
}

const psl_ctx_t* PublicSuffixes() {
  static const psl_ctx_t* list = [] {
    const psl_ctx_t* latest = psl_latest(nullptr);
    return latest ? latest : psl_builtin();
  }();
  return list;
}

// The cookie's strictness: 0 sent everywhere, 1 also on navigations from
// other sites, 2 only within its site.
int Strictness(TSameSite SameSite) {
  switch (SameSite) {
    case TSameSite::None:
      return 0;
    case TSameSite::Strict:
      return 2;
    default:
      return 1;  // Lax, and the browsers' default for no attribute
  }
}

bool Admits(TCookieContext Context, TSameSite SameSite) {
  const int strictness = Strictness(SameSite);
  switch (Context) {
    case TCookieContext::SameSite:
      return true;
    case TCookieContext::CrossSiteNavigation:
      return strictness <= 1;
    default:
      return strictness == 0;
  }
}

bool Clean(std::string_view Field) {
  return std::none_of(Field.begin(), Field.end(), [](char c) {
    return c == '\t' || c == '\r' || c == '\n' || c == '\0';
  });
}

std::vector<std::string_view> SplitTabs(std::string_view Line) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (true) {
    const std::size_t tab = Line.find('\t', at);
    fields.push_back(Line.substr(at, tab == std::string_view::npos ? tab : tab - at));
    if (tab == std::string_view::npos) break;
    at = tab + 1;
  }
  return fields;
}

// The line's fields by meaning: a Netscape line has seven.
struct TLineKey {
  std::string Domain;  // lower case, without "#HttpOnly_" and a leading dot
  std::string Path;
  std::string Name;
  std::int64_t Expires = 0;
};

std::optional<TLineKey> KeyOf(std::string_view Line) {
  if (Line.rfind(kHttpOnlyPrefix, 0) == 0) Line.remove_prefix(kHttpOnlyPrefix.size());
  const std::vector<std::string_view> fields = SplitTabs(Line);
  if (fields.size() != 7) return std::nullopt;
  TLineKey key;
  std::string_view domain = fields[0];
  if (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
  key.Domain = LowerCopy(domain);
  key.Path = std::string(fields[2]);
  key.Name = std::string(fields[5]);
  std::from_chars(fields[4].data(), fields[4].data() + fields[4].size(), key.Expires);
  return key;
}

// What a Set-Cookie line says of the cookie's place: the key its cookie is
// kept under, and its SameSite.
struct TSetCookie {
  std::string Name, Domain, Path;
  TSameSite SameSite = TSameSite::Unspecified;
};

// The directory of an address's path, as cookies take it by default.
std::string DefaultPath(const std::string& Path) {
  const std::size_t slash = Path.rfind('/');
  if (Path.empty() || Path[0] != '/' || slash == 0 || slash == std::string::npos) return "/";
  return Path.substr(0, slash);
}

std::optional<TSetCookie> ReadSetCookie(std::string_view Line, const TUrlParts& Url) {
  TSetCookie cookie;
  cookie.Domain = Url.Host;
  cookie.Path = DefaultPath(Url.Path);
  std::size_t at = 0;
  bool first = true;
  while (at <= Line.size()) {
    std::size_t end = Line.find(';', at);
    if (end == std::string_view::npos) end = Line.size();
    const std::string_view part = Line.substr(at, end - at);
    const std::size_t equals = part.find('=');
    const std::string_view name = TrimView(part.substr(0, equals));
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : TrimView(part.substr(equals + 1));
    if (first) {
      if (equals == std::string_view::npos || name.empty()) return std::nullopt;
      cookie.Name = std::string(name);
      first = false;
    } else if (SameTextAscii(name, "domain") && !value.empty()) {
      std::string_view domain = value;
      if (domain.front() == '.') domain.remove_prefix(1);
      cookie.Domain = LowerCopy(domain);
    } else if (SameTextAscii(name, "path") && !value.empty() && value.front() == '/') {
      cookie.Path = std::string(value);
    } else if (SameTextAscii(name, "samesite")) {
      if (SameTextAscii(value, "strict")) cookie.SameSite = TSameSite::Strict;
      else if (SameTextAscii(value, "lax")) cookie.SameSite = TSameSite::Lax;
      else if (SameTextAscii(value, "none")) cookie.SameSite = TSameSite::None;
    }
    at = end + 1;
  }
  return cookie;
}

std::vector<std::string> JarLines(CURL* Handle) {
  std::vector<std::string> lines;
  curl_slist* list = nullptr;
  if (curl_easy_getinfo(Handle, CURLINFO_COOKIELIST, &list) != CURLE_OK) return lines;
  for (curl_slist* item = list; item; item = item->next) lines.emplace_back(item->data);
  curl_slist_free_all(list);
  return lines;
}

// The live line of the jar with that name, domain and path.
std::optional<std::string> FindLine(CURL* Handle, const TSetCookie& Cookie) {
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  for (std::string& line : JarLines(Handle)) {
    const std::optional<TLineKey> key = KeyOf(line);
    if (!key || key->Name != Cookie.Name || key->Domain != Cookie.Domain || key->Path != Cookie.Path)
      continue;
    if (key->Expires > 0 && key->Expires < now) return std::nullopt;  // deleted
    return std::move(line);
  }
  return std::nullopt;
}

// The line with an expiry long past: libcurl drops the cookie it replaces.
std::string Expired(const std::string& Line) {
  std::vector<std::string_view> fields = SplitTabs(Line);
  if (fields.size() != 7) return {};
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out += '\t';
    out += i == 4 ? std::string_view("1") : fields[i];
  }
  return out;
}

void Remove(CURL* Handle, const TSetCookie& Cookie) {
  if (const std::optional<std::string> line = FindLine(Handle, Cookie))
    curl_easy_setopt(Handle, CURLOPT_COOKIELIST, Expired(*line).c_str());
}

}  // namespace

std::string SiteOf(std::string_view Url) {
  const TUrlParts parts = PartsOf(Url);
  if (parts.Host.empty()) return {};
  const char* registrable =
      IsIpAddress(parts.Host) ? nullptr : psl_registrable_domain(PublicSuffixes(), parts.Host.c_str());
  return parts.Scheme + "://" + (registrable ? registrable : parts.Host);
}

TCookieContext CookieContextOf(std::string_view RequestUrl, std::string_view FirstPartyUrl,
                               bool Navigation) {
  if (FirstPartyUrl.empty() || SiteOf(RequestUrl) == SiteOf(FirstPartyUrl))
    return TCookieContext::SameSite;
  return Navigation ? TCookieContext::CrossSiteNavigation : TCookieContext::CrossSiteResource;
}

std::string CookieLine(const TBrowserCookie& Cookie) {
  std::string domain = LowerCopy(Cookie.Domain);
  if (!domain.empty() && domain.front() == '.') domain.erase(0, 1);
  if (domain.empty() || Cookie.Name.empty() || Cookie.Path.empty() || !Clean(domain) ||
      !Clean(Cookie.Name) || !Clean(Cookie.Value) || !Clean(Cookie.Path))
    return {};
  std::string line = Cookie.HttpOnly ? std::string(kHttpOnlyPrefix) : std::string();
  line += (Cookie.HostOnly ? "" : ".") + domain;
  line += Cookie.HostOnly ? "\tFALSE\t" : "\tTRUE\t";
  line += Cookie.Path;
  line += Cookie.Secure ? "\tTRUE\t" : "\tFALSE\t";
  line += std::to_string(std::max<std::int64_t>(Cookie.Expires, 0));
  line += '\t' + Cookie.Name + '\t' + Cookie.Value;
  return line;
}

std::optional<std::vector<TBrowserCookie>> ParseCookiesTxt(std::string_view Text,
                                                           std::string& Error) {
  std::vector<TBrowserCookie> cookies;
  std::size_t number = 0;
  for (std::size_t at = 0; at < Text.size();) {
    std::size_t end = Text.find('\n', at);
    if (end == std::string_view::npos) end = Text.size();
    std::string_view line = Text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    TBrowserCookie cookie;
    if (line.rfind(kHttpOnlyPrefix, 0) == 0) {
      cookie.HttpOnly = true;
      line.remove_prefix(kHttpOnlyPrefix.size());
    } else if (TrimView(line).empty() || line.front() == '#') {
      continue;
    }
    const std::vector<std::string_view> fields = SplitTabs(line);
    std::int64_t expires = 0;
    const bool goodExpiry =
        fields.size() == 7 &&
        std::from_chars(fields[4].data(), fields[4].data() + fields[4].size(), expires).ec ==
            std::errc() &&
        expires >= 0;
    if (!goodExpiry || fields[0].empty() || fields[5].empty() || fields[2].empty() ||
        fields[2].front() != '/') {
      Error = "line " + std::to_string(number) + " is not a cookie";
      return std::nullopt;
    }
    cookie.Domain = std::string(fields[0]);
    cookie.HostOnly = !SameTextAscii(fields[1], "TRUE");
    if (cookie.Domain.front() == '.') {
      cookie.Domain.erase(0, 1);
      cookie.HostOnly = false;
    }
    cookie.Path = std::string(fields[2]);
    cookie.Secure = SameTextAscii(fields[3], "TRUE");
    cookie.Expires = expires;
    cookie.Name = std::string(fields[5]);
    cookie.Value = std::string(fields[6]);
    cookies.push_back(std::move(cookie));
  }
  return cookies;
}

TSessionCookies::TSessionCookies() {
  static std::once_flag global;
  std::call_once(global, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  for (TJar& jar : jars_) {
    jar.Share = curl_share_init();
    curl_share_setopt(jar.Share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    jar.Handle = curl_easy_init();
    curl_easy_setopt(jar.Handle, CURLOPT_SHARE, jar.Share);
    curl_easy_setopt(jar.Handle, CURLOPT_COOKIEFILE, "");
  }
}

TSessionCookies::~TSessionCookies() {
  for (TJar& jar : jars_) {
    curl_easy_cleanup(jar.Handle);
    curl_share_cleanup(jar.Share);  // refused, and left, while a transfer holds it
  }
}

void TSessionCookies::Clear() {
  for (TJar& jar : jars_) curl_easy_setopt(jar.Handle, CURLOPT_COOKIELIST, "ALL");
}

void TSessionCookies::Add(const TBrowserCookie& Cookie) {
  const std::string line = CookieLine(Cookie);
  if (line.empty()) return;
  for (TCookieContext context : kContexts)
    if (Admits(context, Cookie.SameSite))
      curl_easy_setopt(JarOf(context).Handle, CURLOPT_COOKIELIST, line.c_str());
}

void TSessionCookies::Attach(CURL* Easy, TCookieContext Context) {
  curl_easy_setopt(Easy, CURLOPT_SHARE, JarOf(Context).Share);
  curl_easy_setopt(Easy, CURLOPT_COOKIEFILE, "");  // the engine on, no file read
}

void TSessionCookies::Received(TCookieContext Context, std::string_view Url,
                               const std::vector<std::string>& SetCookies) {
  if (SetCookies.empty()) return;
  const TUrlParts parts = PartsOf(Url);
  for (const std::string& header : SetCookies) {
    const std::optional<TSetCookie> cookie = ReadSetCookie(header, parts);
    if (!cookie) continue;
    CURL* own = JarOf(Context).Handle;
    if (!Admits(Context, cookie->SameSite)) {
      // A browser does not take the cookie here: out of the jar it went to.
      Remove(own, *cookie);
      continue;
    }
    // What libcurl kept (nothing when it refused the cookie or the server
    // deleted it) is what every other jar gets or loses.
    const std::optional<std::string> kept = FindLine(own, *cookie);
    for (TCookieContext context : kContexts) {
      if (context == Context) continue;
      CURL* jar = JarOf(context).Handle;
      if (kept && Admits(context, cookie->SameSite))
        curl_easy_setopt(jar, CURLOPT_COOKIELIST, kept->c_str());
      else
        Remove(jar, *cookie);
    }
  }
}

TSessionCookies& SessionCookies() {
  static TSessionCookies session;
  return session;
}

}  // namespace leafstash
