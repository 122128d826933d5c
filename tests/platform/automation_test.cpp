#include <gtest/gtest.h>

#include "platform/automation/automation_object.h"
#include "host/page_snapshot.h"

namespace leafstash {
namespace {

TEST(Variant, TextOfEveryKind) {
  EXPECT_EQ(Variant().ToText(), "");
  EXPECT_EQ(Variant::Null().ToText(), "");
  EXPECT_EQ(Variant(42).ToText(), "42");
  EXPECT_EQ(Variant(std::int64_t{-7}).ToText(), "-7");
  EXPECT_EQ(Variant(2.5).ToText(), "2.5");
  EXPECT_EQ(Variant(3.0).ToText(), "3");
  EXPECT_EQ(Variant(true).ToText(), "True");
  EXPECT_EQ(Variant(false).ToText(), "False");
  EXPECT_EQ(Variant("x").ToText(), "x");
  EXPECT_EQ(Variant("12").ToInteger(), 12);
  EXPECT_THROW(Variant("12a").ToInteger(), AutomationError);
  EXPECT_THROW(Variant(DispatchPtr(std::make_shared<TAutomationObject>())).ToText(),
               AutomationError);
}

TEST(Variant, MembersOfNonObjectsAndUnknownMembersAreErrors) {
  try {
    Variant::Null().Get("document");
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Status(), DISP_E_TYPEMISMATCH);
  }
  auto object = std::make_shared<TAutomationObject>();
  object->SetProperty("Title", "T");
  const Variant v{DispatchPtr(object)};
  EXPECT_EQ(v.Get("TITLE").ToText(), "T");  // names ignore case
  try {
    v.Get("Titel");
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Status(), DISP_E_UNKNOWNNAME);
  }
  EXPECT_THROW(v.Invoke("Title"), AutomationError);
}

TEST(PageSnapshot, AnswersTheMembersTheCaptureReads) {
  const Variant wb = BuildWindowFromSnapshot(R"({
    "url": "http://h/a.html", "title": "Home", "documentUrl": "http://h/f.html",
    "selectionHtml": "<a href=\"b.html\">b</a>",
    "links": [ { "href": "http://h/b.html", "innerText": " b " } ],
    "frames": [ { "location": "http://h/f.html", "title": "F" } ] })");
  const Variant top = wb.Get("parent");
  EXPECT_EQ(top.Get("document").Get("Url").ToText(), "http://h/a.html");
  EXPECT_EQ(top.Get("document").Get("Title").ToText(), "Home");
  EXPECT_EQ(top.Get("parent").Get("document").Get("Url").ToText(), "http://h/a.html");
  EXPECT_EQ(wb.Get("document").Get("URL").ToText(), "http://h/f.html");
  EXPECT_EQ(wb.Get("document").Get("selection").Invoke("createRange").Get("HtmlText").ToText(),
            "<a href=\"b.html\">b</a>");
  const Variant links = wb.Get("document").Get("Links");
  ASSERT_EQ(links.Get("Length").ToInteger(), 1);
  EXPECT_EQ(links.Invoke("Item", {Variant(0)}).Get("href").ToText(), "http://h/b.html");
  EXPECT_EQ(links.Invoke("Item", {Variant(0)}).Get("innerText").ToText(), " b ");
  EXPECT_THROW(links.Invoke("Item", {Variant(1)}), AutomationError);
  EXPECT_THROW(links.Invoke("Item"), AutomationError);
  const Variant frame = top.Get("frames").Invoke("Item", {Variant(0)});
  EXPECT_EQ(frame.Get("document").Get("Title").ToText(), "F");
  EXPECT_EQ(frame.Get("location").ToText(), "http://h/f.html");
}

TEST(PageSnapshot, MissingMembersAreMissingAndBadTextIsRefused) {
  const Variant wb = BuildWindowFromSnapshot(R"({ "url": "http://h/" })");
  EXPECT_EQ(wb.Get("parent").Get("document").Get("Url").ToText(), "http://h/");
  EXPECT_THROW(wb.Get("parent").Get("document").Get("Title"), AutomationError);
  EXPECT_THROW(wb.Get("document").Get("selection"), AutomationError);
  EXPECT_THROW(wb.Get("document").Get("Links"), AutomationError);
  EXPECT_THROW(wb.Get("parent").Get("frames"), AutomationError);
  EXPECT_THROW(BuildWindowFromSnapshot("{"), SnapshotError);
  EXPECT_THROW(BuildWindowFromSnapshot("[]"), SnapshotError);
  EXPECT_THROW(BuildWindowFromSnapshot(R"({"url": 5})"), SnapshotError);
  EXPECT_THROW(BuildWindowFromSnapshot(R"({"links": {}})"), SnapshotError);
  EXPECT_THROW(BuildWindowFromSnapshot(R"({"frames": [1]})"), SnapshotError);
  EXPECT_THROW(BuildWindowFromSnapshot(R"({"clickedLink": "http://h/"})"), SnapshotError);
}

TEST(PageSnapshot, WhatTheBrowserHandsOverBesidesTheWindow) {
  const TSnapshot snapshot = ReadSnapshot(R"({
    "url": "http://h/", "userAgent": "Browser/1.0",
    "clickedLink": { "href": "http://h/next#p", "innerText": "Next" },
    "cookies": [
      { "name": "sid", "value": "v1", "domain": ".h.test", "hostOnly": false, "path": "/a",
        "secure": true, "httpOnly": true, "sameSite": "strict", "expirationDate": 1900000000.5 },
      { "name": "n", "value": "v2", "domain": "h", "sameSite": "no_restriction" },
      { "name": "u", "value": "v3", "domain": "h", "sameSite": "unspecified", "expirationDate": null }
    ],
    "documents": [ { "url": "http://h/", "html": "<html>as shown</html>" } ] })");
  EXPECT_EQ(snapshot.Window.Get("parent").Get("document").Get("Url").ToText(), "http://h/");
  const TBrowserHandover& h = snapshot.Handover;
  EXPECT_EQ(h.UserAgent, "Browser/1.0");
  EXPECT_EQ(h.ClickedLink.Href, "http://h/next#p");
  EXPECT_EQ(h.ClickedLink.Text, "Next");
  ASSERT_EQ(h.Cookies.size(), 3u);
  EXPECT_EQ(h.Cookies[0].Domain, "h.test");
  EXPECT_FALSE(h.Cookies[0].HostOnly);
  EXPECT_EQ(h.Cookies[0].Path, "/a");
  EXPECT_TRUE(h.Cookies[0].Secure && h.Cookies[0].HttpOnly);
  EXPECT_EQ(h.Cookies[0].SameSite, TSameSite::Strict);
  EXPECT_EQ(h.Cookies[0].Expires, 1900000000);
  EXPECT_TRUE(h.Cookies[1].HostOnly);
  EXPECT_EQ(h.Cookies[1].Path, "/");
  EXPECT_EQ(h.Cookies[1].SameSite, TSameSite::None);
  EXPECT_EQ(h.Cookies[1].Expires, 0);  // a session cookie
  EXPECT_EQ(h.Cookies[2].SameSite, TSameSite::Unspecified);
  ASSERT_EQ(h.Documents.size(), 1u);
  EXPECT_EQ(h.Documents[0].Html, "<html>as shown</html>");
}

TEST(PageSnapshot, ErrorsNeverQuoteWhatTheBrowserHandedOver) {
  const std::string secret = "c00k1e-value";
  for (const std::string& text :
       {R"({"cookies": [{"name": "a", "value": )" + secret + "}]}",
        R"({"cookies": [{"name": ")" + secret + R"(", "value": 5}]})",
        R"({"documents": [{"url": ")" + secret + R"(", "html": [1]}]})",
        R"({"cookies": {"value": ")" + secret + R"("}})"}) {
    try {
      ReadSnapshot(text);
      ADD_FAILURE() << "accepted " << text;
    } catch (const SnapshotError& e) {
      EXPECT_EQ(std::string(e.what()).find(secret), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace leafstash
