// The browser session's cookies, shared by every request of the URL
// service, as the system's URL service shares the browser's own. libcurl's
// cookie engine keeps them and decides which go with a request by domain,
// path, Secure and expiry, and keeps what servers set. It knows nothing of
// SameSite, so the cookies are kept in three jars, one per context a
// request can stand in, each holding the cookies a browser sends in that
// context; what a server sets is put into every jar that admits it.
#pragma once

#include <array>
#include <curl/curl.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/browser_handover.h"

namespace leafstash {

enum class TCookieContext : std::uint8_t {
  SameSite,             // the page's own site (or no page): every cookie
  CrossSiteNavigation,  // another site's page opened from the page: Lax and None
  CrossSiteResource,    // another site's picture, sheet, script or frame: None
};

// The site of an address as browsers compare sites: the scheme and the
// registrable domain ("https://example.co.uk" for https://www.example.co.uk/);
// the whole host for an IP address or a host without one (localhost).
std::string SiteOf(std::string_view Url);

// The context of a request to RequestUrl made for the page at
// FirstPartyUrl (empty: made for no page, a navigation of its own);
// Navigation: a page opened from a link, not something a page loads.
TCookieContext CookieContextOf(std::string_view RequestUrl, std::string_view FirstPartyUrl,
                               bool Navigation);

// A cookie as a line of Netscape's cookies.txt (the format libcurl, Wget
// and the browsers' exporters use); empty for a cookie no line can hold.
std::string CookieLine(const TBrowserCookie& Cookie);

// The cookies of a cookies.txt text: comments and blank lines are skipped,
// "#HttpOnly_" marks HttpOnly ones; the format has no SameSite, so each is
// Unspecified. Nothing, with Error naming the line by its number only
// (never its content), when a line is not a cookie.
std::optional<std::vector<TBrowserCookie>> ParseCookiesTxt(std::string_view Text,
                                                           std::string& Error);

class TSessionCookies {
 public:
  TSessionCookies();
  ~TSessionCookies();
  TSessionCookies(const TSessionCookies&) = delete;
  TSessionCookies& operator=(const TSessionCookies&) = delete;

  // Forgets every cookie.
  void Clear();
  // Puts a browser's cookie into the jars of the contexts that send it.
  void Add(const TBrowserCookie& Cookie);
  // Makes the transfer Easy send and keep the cookies of Context.
  void Attach(CURL* Easy, TCookieContext Context);
  // What a transfer attached in Context received from Url: libcurl has
  // kept its Set-Cookie lines in that context's jar; each now goes into
  // the other jars that admit it, or out of that one when a browser would
  // not have taken it there.
  void Received(TCookieContext Context, std::string_view Url,
                const std::vector<std::string>& SetCookies);

 private:
  struct TJar {
    CURLSH* Share = nullptr;
    CURL* Handle = nullptr;  // attached to Share, to put lines in and read them
  };
  TJar& JarOf(TCookieContext Context) { return jars_[static_cast<std::size_t>(Context)]; }
  std::array<TJar, 3> jars_;
};

// The process's session.
TSessionCookies& SessionCookies();

}  // namespace leafstash
