// What the browser hands the program with a page, besides the window object
// that the page capture reads: the page and its frames as they stand in
// the browser, the browser's user agent, and the cookies of the sites the
// page uses. All of it is the user's and lives in memory only: nothing
// here is ever written to a file, a log, an argument or a message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace leafstash {

// When a browser sends a cookie along with a request another site made.
// Unspecified is what a cookie without the attribute gets; it is taken as
// Lax, the browsers' default.
enum class TSameSite : std::uint8_t { Unspecified, None, Lax, Strict };

struct TBrowserCookie {
  std::string Name;
  std::string Value;
  std::string Domain;     // without a leading dot
  bool HostOnly = true;   // false: sent to the domain's subdomains too
  std::string Path = "/";
  bool Secure = false;
  bool HttpOnly = false;
  TSameSite SameSite = TSameSite::Unspecified;
  std::int64_t Expires = 0;  // seconds since 1970; 0 for a session cookie
};

// A frame's document as the browser holds it now, serialised.
struct TShownDocument {
  std::string Url;   // the frame's address as the browser reports it
  std::string Html;  // UTF-8
};

// The link the user opened the browser's menu on.
struct TClickedLink {
  std::string Href;
  std::string Text;  // empty when the browser does not tell
};

struct TBrowserHandover {
  std::string UserAgent;
  TClickedLink ClickedLink;  // empty Href: the menu was not opened on a link
  std::vector<TBrowserCookie> Cookies;
  // The page first, then the frames, each address once.
  std::vector<TShownDocument> Documents;

  bool Empty() const { return UserAgent.empty() && Cookies.empty() && Documents.empty(); }
};

}  // namespace leafstash
