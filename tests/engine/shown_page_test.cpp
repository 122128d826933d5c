// Jobs for a page the browser handed over as it shows it: the page and its
// frames are stored as handed over, what they need is downloaded, the
// linked pages are fetched, and a later job reuses the copy.
#include <gtest/gtest.h>

#include <set>

#include "driver_suite.h"
#include "headless_job.h"
#include "host/page_snapshot.h"

namespace leafstash {
namespace {

using httplib::Request;
using httplib::Response;

class ShownPageTest : public test::DriverSuite<ShownPageTest> {
 public:
  static void Route(httplib::Server& s) {
    // What the server sends differs from what the browser shows.
    s.Get("/app/index.html", [](const Request&, Response& r) {
      r.set_content("<html><div id=app>Loading…</div><script src=app.js></script></html>",
                    "text/html");
    });
    s.Get("/app/frame.html", [](const Request&, Response& r) {
      r.set_content("<html>frame from the server</html>", "text/html");
    });
    for (const char* path : {"/app/shot.png", "/app/inner.png"})
      s.Get(path, [](const Request& q, Response& r) { r.set_content("PNG " + q.path, "image/png"); });
    s.Get("/app/more.html", [](const Request&, Response& r) {
      r.set_content("<html>more</html>", "text/html");
    });
  }

 protected:
  void SetUp() override {
    test::DriverSuite<ShownPageTest>::SetUp();
    Process().PageURL = Url("/app/index.html");
    Process().PageTitle = "App";
    // The page as the browser shows it, with its frame.
    Process().BrowserWindow = BuildWindowFromSnapshot(
        R"({"url": ")" + Url("/app/index.html") + R"(", "frames": [{"location": ")" +
        Url("/app/frame.html") + R"(", "title": "F"}]})");
    Process().Handover.Documents = {
        {Url("/app/index.html#top"),
         "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><div id=app>"
         "<h1>Built by the script</h1><img src=\"shot.png\"></div>"
         "<iframe src=\"" + Url("/app/frame.html") + "\"></iframe></body></html>"},
        {Url("/app/frame.html"),
         "<html><body onload=\"build()\">frame as shown<img src=inner.png>"
         "<script>build()</script></body></html>"},
    };
  }

  std::set<std::string> Requested() const {
    std::set<std::string> paths;
    for (const auto& request : server_->Requests()) paths.insert(request.path);
    return paths;
  }
};

TEST_F(ShownPageTest, ThePageAndItsFramesAreStoredAsShownAndTheRestDownloaded) {
  auto outcome = test::RunHeadlessJob({{Url("/app/more.html"), "more"}});
  ASSERT_TRUE(outcome.Closed);
  const std::string page = dest_.Read("INDEX.HTML");
  EXPECT_NE(page.find("<h1>Built by the script</h1><img src=\"shot.png\">"), std::string::npos);
  EXPECT_NE(page.find("<iframe src=\"frame.html\">"), std::string::npos) << page;
  // Made inert: what would run is gone, and it says it is UTF-8.
  EXPECT_EQ(dest_.Read("frame.html"),
            "<meta charset=\"utf-8\"><html><body>frame as shown<img src=inner.png></body></html>\r\n");
  EXPECT_EQ(dest_.Read("shot.png"), "PNG /app/shot.png");
  EXPECT_EQ(dest_.Read("inner.png"), "PNG /app/inner.png");
  EXPECT_EQ(dest_.Read("more.html"), "<html>more</html>\r\n");
  // Neither the page nor its frame was asked of the server again.
  EXPECT_EQ(Requested(), (std::set<std::string>{"/app/shot.png", "/app/inner.png", "/app/more.html"}));
  for (const auto& [url, entry] : outcome.Entries) EXPECT_EQ(entry.State, TURLState::Done) << url;
  EXPECT_EQ(outcome.Entries[Url("/app/index.html")].Kind, TURLKind::Page);

  // A later job that reuses the folder downloads none of it again.
  server_->ClearRequests();
  Process().Settings.SetSkipExisting(true);
  auto again = test::RunHeadlessJob({{Url("/app/more.html"), "more"}});
  ASSERT_TRUE(again.Closed);
  EXPECT_TRUE(server_->Requests().empty());
  EXPECT_EQ(dest_.Read("INDEX.HTML"), page);
}

TEST_F(ShownPageTest, DownloadedAgainWhenTheUserSaysSo) {
  Process().ExtraSettings.SetSaveAsShown(false);
  auto outcome = test::RunHeadlessJob();
  ASSERT_TRUE(outcome.Closed);
  EXPECT_NE(dest_.Read("INDEX.HTML").find("Loading…"), std::string::npos);
  EXPECT_EQ(dest_.Read("frame.html"), "<html>frame from the server</html>\r\n");
  EXPECT_TRUE(Requested().count("/app/index.html"));
}

}  // namespace
}  // namespace leafstash
