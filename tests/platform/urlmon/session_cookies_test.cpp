// The browser's session in the URL service: which cookies go with a
// request by SameSite context, what servers set, the cookies.txt format,
// sites and referrers.
#include <gtest/gtest.h>

#include <algorithm>

#include "download_fixture.h"
#include "platform/urlmon/session_cookies.h"
#include "platform/urlmon/url_text.h"

namespace leafstash::test {
namespace {

// One server answers for two sites: 127.0.0.1 and localhost.
class SessionCookiesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new TestServer();
    auto& s = server_->Routes();
    s.Get("/echo", [](const httplib::Request& q, httplib::Response& r) {
      r.set_content(q.get_header_value("Cookie"), "text/plain");
    });
    // Sets the cookie named by the query as written there.
    s.Get("/set", [](const httplib::Request& q, httplib::Response& r) {
      r.set_header("Set-Cookie", q.get_param_value("c"));
      r.set_content("set", "text/plain");
    });
    s.Get("/set-and-move", [](const httplib::Request& q, httplib::Response& r) {
      r.set_header("Set-Cookie", q.get_param_value("c"));
      r.set_redirect("/echo", 302);
    });
    server_->Start();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { SessionCookies().Clear(); }
  void TearDown() override {
    SessionCookies().Clear();
    EXPECT_TRUE(WaitUntil([] { return ActiveBindCount() == 0; }, 5000));
  }

  static std::string Here(const std::string& Path) { return server_->Url(Path); }
  static std::string There(const std::string& Path) {
    return "http://localhost:" + std::to_string(server_->Port()) + Path;
  }

  // The cookies of a Cookie header, in name order.
  static std::string Sorted(const std::string& Header) {
    std::vector<std::string> parts;
    for (std::size_t at = 0; at < Header.size();) {
      std::size_t end = Header.find("; ", at);
      if (end == std::string::npos) end = Header.size();
      parts.push_back(Header.substr(at, end - at));
      at = end + 2;
    }
    std::sort(parts.begin(), parts.end());
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : "; ") + part;
    return out;
  }

  // The Cookie header a request to Url carries, made for FirstParty, in
  // name order.
  static std::string Fetch(const std::string& Url, const std::string& FirstParty,
                           bool Navigation = false) {
    TIEDownload d;
    d.SetOptions({TBindInfoOption::Asynchronous, TBindInfoOption::AsyncStorage,
                  TBindInfoOption::PullData});
    d.FirstPartyUrl = FirstParty;
    d.Navigation = Navigation;
    Recorder events(d);
    d.Download(Url);
    EXPECT_TRUE(events.WaitFor(1));
    return events.completions.empty() ? "(none)" : Sorted(events.completions[0].body);
  }

  static TBrowserCookie Cookie(const std::string& Name, TSameSite SameSite,
                               const std::string& Domain = "localhost") {
    TBrowserCookie c;
    c.Name = Name;
    c.Value = Name + "-value";
    c.Domain = Domain;
    c.SameSite = SameSite;
    c.Secure = SameSite == TSameSite::None;
    return c;
  }

  static inline TestServer* server_ = nullptr;
};

TEST_F(SessionCookiesTest, EachContextCarriesWhatABrowserSends) {
  for (auto [name, sameSite] : {std::pair{"strict", TSameSite::Strict}, {"lax", TSameSite::Lax},
                                {"none", TSameSite::None}, {"plain", TSameSite::Unspecified}})
    SessionCookies().Add(Cookie(name, sameSite));
  const std::string page = Here("/page.html");

  // A picture of another site: SameSite=None only.
  EXPECT_EQ(Fetch(There("/echo"), page), "none=none-value");
  // A page of another site opened from a link: Lax (the default) and None.
  EXPECT_EQ(Fetch(There("/echo"), page, true),
            "lax=lax-value; none=none-value; plain=plain-value");
  // Within its own site, and with no page at all, every cookie.
  const std::string all = "lax=lax-value; none=none-value; plain=plain-value; strict=strict-value";
  EXPECT_EQ(Fetch(There("/echo"), There("/page.html")), all);
  EXPECT_EQ(Fetch(There("/echo"), ""), all);
  // The other site's cookies never go to this one.
  EXPECT_EQ(Fetch(Here("/echo"), page), "");
}

TEST_F(SessionCookiesTest, DomainPathSecureAndExpiryAreLibcurlsRules) {
  TBrowserCookie deep = Cookie("deep", TSameSite::Lax, "127.0.0.1");
  deep.Path = "/inner";
  TBrowserCookie old = Cookie("old", TSameSite::Lax, "127.0.0.1");
  old.Expires = 1000;  // 1970
  TBrowserCookie later = Cookie("later", TSameSite::Lax, "127.0.0.1");
  later.Expires = 4102444800;  // 2100
  for (const TBrowserCookie& c : {deep, old, later}) SessionCookies().Add(c);
  EXPECT_EQ(Fetch(Here("/echo"), ""), "later=later-value");
  server_->Routes().Get("/inner/echo", [](const httplib::Request& q, httplib::Response& r) {
    r.set_content(q.get_header_value("Cookie"), "text/plain");
  });
  EXPECT_EQ(Fetch(Here("/inner/echo"), ""), "deep=deep-value; later=later-value");
}

TEST_F(SessionCookiesTest, WhatServersSetIsKeptAsABrowserKeepsIt) {
  const std::string page = Here("/page.html");
  // Set within its site: a Strict cookie and a None one, through a
  // redirection too.
  Fetch(There("/set?c=s%3D1%3B%20SameSite%3DStrict"), There("/"));
  EXPECT_EQ(Fetch(There("/set-and-move?c=n%3D1%3B%20SameSite%3DNone%3B%20Secure"), There("/")),
            "n=1; s=1");
  EXPECT_EQ(Fetch(There("/echo"), page), "n=1");
  EXPECT_EQ(Fetch(There("/echo"), page, true), "n=1");

  // A Strict cookie set by a response to another site's page is not taken.
  Fetch(There("/set?c=x%3D1%3B%20SameSite%3DStrict"), page);
  EXPECT_EQ(Fetch(There("/echo"), page), "n=1");
  EXPECT_EQ(Fetch(There("/echo"), There("/")), "n=1; s=1");

  // A deletion reaches every context.
  Fetch(There("/set?c=n%3D%3B%20Max-Age%3D0"), There("/"));
  EXPECT_EQ(Fetch(There("/echo"), page), "");
  EXPECT_EQ(Fetch(There("/echo"), There("/")), "s=1");
}

TEST(CookiesTxt, LinesCommentsHttpOnlyAndErrorsThatHideTheContent) {
  std::string error;
  const auto cookies = ParseCookiesTxt(
      "# Netscape HTTP Cookie File\r\n"
      "\n"
      ".example.org\tTRUE\t/\tTRUE\t0\tsid\tabc def\r\n"
      "#HttpOnly_host.example.org\tFALSE\t/app\tFALSE\t4102444800\ttoken\txyz\n",
      error);
  ASSERT_TRUE(cookies) << error;
  ASSERT_EQ(cookies->size(), 2u);
  EXPECT_EQ((*cookies)[0].Domain, "example.org");
  EXPECT_FALSE((*cookies)[0].HostOnly);
  EXPECT_TRUE((*cookies)[0].Secure);
  EXPECT_EQ((*cookies)[0].Value, "abc def");
  EXPECT_TRUE((*cookies)[1].HttpOnly);
  EXPECT_TRUE((*cookies)[1].HostOnly);
  EXPECT_EQ((*cookies)[1].Path, "/app");
  EXPECT_EQ((*cookies)[1].Expires, 4102444800);
  EXPECT_EQ(CookieLine((*cookies)[1]),
            "#HttpOnly_host.example.org\tFALSE\t/app\tFALSE\t4102444800\ttoken\txyz");

  EXPECT_FALSE(ParseCookiesTxt("a\tb\tc\nsecret-value-here\n", error));
  EXPECT_EQ(error, "line 1 is not a cookie");
  EXPECT_FALSE(ParseCookiesTxt("h\tFALSE\t/\tFALSE\tsoon\tn\tsecret-value-here\n", error));
  EXPECT_EQ(error.find("secret"), std::string::npos);

  // A value no line can hold is never written.
  TBrowserCookie broken;
  broken.Name = "n";
  broken.Domain = "h";
  broken.Value = "a\tb";
  EXPECT_EQ(CookieLine(broken), "");
}

TEST(Sites, SchemesRegistrableDomainsAndAddresses) {
  EXPECT_EQ(SiteOf("https://www.example.co.uk/a"), "https://example.co.uk");
  EXPECT_EQ(SiteOf("http://a.b.example.com:8080/"), "http://example.com");
  EXPECT_EQ(SiteOf("http://127.0.0.1:5/x"), "http://127.0.0.1");
  EXPECT_EQ(SiteOf("http://localhost/"), "http://localhost");
  EXPECT_EQ(CookieContextOf("http://cdn.example.com/p.png", "http://www.example.com/", false),
            TCookieContext::SameSite);
  EXPECT_EQ(CookieContextOf("https://www.example.com/", "http://www.example.com/", false),
            TCookieContext::CrossSiteResource);
  EXPECT_EQ(CookieContextOf("http://other.org/", "http://example.com/", true),
            TCookieContext::CrossSiteNavigation);
}

TEST(Referrers, TheBrowsersDefaultPolicy) {
  EXPECT_EQ(ReferrerFor("https://h/a/page.html?q=1#top", "https://h/pic.png"),
            "https://h/a/page.html?q=1");
  EXPECT_EQ(ReferrerFor("https://h/a/page.html", "https://cdn.example/pic.png"), "https://h/");
  EXPECT_EQ(ReferrerFor("http://h:8080/a", "http://h:8081/b"), "http://h:8080/");
  EXPECT_EQ(ReferrerFor("https://h/a", "http://h/a"), "");
  EXPECT_EQ(ReferrerFor("http://h/a", "https://h/a"), "http://h/");
  EXPECT_EQ(ReferrerFor("http://user@h/a", "http://h/b"), "http://h/a");
  EXPECT_EQ(ReferrerFor("http://h/a\r\nX: y", "http://h/b"), "");
  EXPECT_EQ(ReferrerFor("file:///a", "http://h/b"), "");
}

}  // namespace
}  // namespace leafstash::test
