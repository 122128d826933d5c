// What a page needs beyond its plain tags: srcset candidates, style sheets
// with their imports, fonts and pictures, <base href>, names a browser
// finds under file://, and links to what could not be saved. The saved
// text is checked byte for byte.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>

#include "headless_job.h"
#include "qt_wait.h"
#include "driver_suite.h"
#include "temp_dir.h"
#include "platform/urlmon/urlmon.h"

namespace leafstash {
namespace {

using httplib::Request;
using httplib::Response;

class RequisitesTest : public test::DriverSuite<RequisitesTest> {
 public:
  static void Route(httplib::Server& s) {
    // Routes are patterns: the path's parentheses and points taken as written.
    const auto content = [&s](const std::string& Path, std::string Body, const char* Type) {
      std::string pattern;
      for (const char c : Path) {
        if (c == '(' || c == ')' || c == '.') pattern += '\\';
        pattern += c;
      }
      s.Get(pattern, [Body, Type](const Request&, Response& r) { r.set_content(Body, Type); });
    };
    content("/q/index.html",
            "<html><head><base href=\"sub/\"><link rel=\"stylesheet\" href=\"css/site.css?8\" "
            "integrity=\"sha384-abc\" crossorigin=\"anonymous\"><link rel=canonical "
            "href=\"/q/index.html\"></head>\n"
            "<body style=\"background:url('bg.png')\"><img src=\"a.png\" srcset=\"a.png 1x,\n"
            "\tbig,1.png 2x\"><img src=\"gone.png\"><img src=\"bilder/gr\xC3\xBCn.png\">"
            "<img src=\"bilder/gr%C3%BCn.png\">\n"
            "<a href=\"other.html#x\">o</a><a href=\"#top\">top</a>"
            "<img src=\"data:image/gif;base64,R0lG\"><iframe src=frame.html></iframe>\n"
            "</body></html>\n",
            "text/html");
    // One picture written two ways, a body background and a link of only
    // a query.
    content("/d/index.html",
            "<html><body background=\"bg.gif\"><img src=\"./one.png\"><img src=\"one.png\">"
            "<a href=\"?page=2\">next</a></body></html>",
            "text/html");
    content("/d/one.png", "PNG one", "image/png");
    content("/d/bg.gif", "GIF bg", "image/gif");
    content("/q/sub/frame.html", "<img src=\"gone.png\">", "text/html");
    content("/q/sub/css/site.css",
            "@import \"more.css\";body{background:url(../img/back.png)}"
            "@font-face{src:url(f.eot?#iefix&v=1) format(\"eot\")}p{filter:url(#f)}",
            "text/css");
    content("/q/sub/css/more.css", "p{background:url(\"p (1).png\")}@font-face{src:url(late.woff2)}",
            "text/css");
    for (const char* path : {"/q/sub/bg.png", "/q/sub/a.png", "/q/sub/big,1.png",
                             "/q/sub/img/back.png", "/q/sub/css/p (1).png",
                             "/q/sub/bilder/gr\xC3\xBCn.png"})
      content(path, std::string("PNG ") + path, "image/png");
    content("/q/sub/css/f.eot", "EOT", "application/vnd.ms-fontobject");
    // A page in Latin-1 writes "ü" as one byte; browsers ask for it in UTF-8.
    content("/l/latin.html",
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
            "charset=ISO-8859-1\"></head><img src=\"bild-gr\xFCn.png\"><img "
            "src=\"bild-gr%C3%BCn.png\"><img src=\"caf&#233;.png\">"
            "<iframe srcdoc=&lt;img&#32;src=pics/inner.png&gt;></iframe></html>",
            "text/html");
    content("/l/bild-gr\xC3\xBCn.png", "PNG latin", "image/png");
    content("/l/caf\xC3\xA9.png", "PNG cafe", "image/png");
    content("/l/pics/inner.png", "PNG inner", "image/png");
    // Missing the first time, there the next.
    for (const char* path : {"/q/sub/gone.png", "/q/sub/css/late.woff2"})
      s.Get(path, [](const Request& q, Response& r) {
        if (goneIsBack_) r.set_content("back", q.path.back() == '2' ? "font/woff2" : "image/png");
        else r.status = 404;
      });
  }

 protected:
  void SetUp() override {
    DriverSuite::SetUp();
    goneIsBack_ = false;
  }

  std::multiset<std::string> Requested() const {
    std::multiset<std::string> paths;
    for (const auto& request : server_->Requests()) paths.insert(request.path);
    return paths;
  }

  static inline std::atomic<bool> goneIsBack_{false};
};

TEST_F(RequisitesTest, EverythingTheBrowserLoadsIsSavedAndFoundOffline) {
  Process().PageURL = Url("/q/index.html");
  const auto first = test::RunHeadlessJob();
  ASSERT_TRUE(first.Closed);
  const std::string page =
      "<html><head><base><link rel=\"stylesheet\" href=\"site.css8.css\"><link rel=canonical "
      "href=\"INDEX.HTML\"></head>\r\n"
      "<body style=\"background:url('bg.png')\"><img src=\"a.png\" srcset=\"a.png 1x,\r\n"
      "\tbig%2C1.png 2x\"><img src=\"" + Url("/q/sub/gone.png") + "\"><img src=\"gr%C3%BCn.png\">"
      "<img src=\"gr%C3%BCn.png\">\r\n"
      "<a href=\"" + Url("/q/sub/other.html") + "#x\">o</a><a href=\"#top\">top</a>"
      "<img src=\"data:image/gif;base64,R0lG\"><iframe src=frame.html></iframe>\r\n"
      "</body></html>\r\n";
  EXPECT_EQ(dest_.Read("INDEX.HTML"), page);
  EXPECT_EQ(dest_.Read("site.css8.css"),
            "@import \"more.css\";body{background:url(back.png)}"
            "@font-face{src:url(f.eot#iefix&v=1) format(\"eot\")}p{filter:url(#f)}");
  EXPECT_EQ(dest_.Read("more.css"), "p{background:url(\"p%2520%281%29.png\")}@font-face{src:url(" +
                                        Url("/q/sub/css/late.woff2") + ")}");
  EXPECT_EQ(dest_.Read("big,1.png"), "PNG /q/sub/big,1.png");
  EXPECT_EQ(dest_.Read("gr\xC3\xBCn.png"), "PNG /q/sub/bilder/gr\xC3\xBCn.png");
  EXPECT_EQ(dest_.Read("p%20(1).png"), "PNG /q/sub/css/p (1).png");
  EXPECT_EQ(dest_.Read("back.png"), "PNG /q/sub/img/back.png");
  EXPECT_EQ(dest_.Read("f.eot"), "EOT");
  // The two spellings of one address are one download; the font is asked
  // for without its fragment, the canonical link and the anchor not at all.
  const auto requested = Requested();
  EXPECT_EQ(requested.count("/q/sub/bilder/gr\xC3\xBCn.png"), 1u);
  EXPECT_EQ(requested.count("/q/sub/css/f.eot"), 1u);
  EXPECT_EQ(requested.count("/q/index.html"), 1u);
  EXPECT_EQ(requested.count("/q/sub/other.html"), 0u);
  EXPECT_EQ(first.Entries.at(Url("/q/sub/gone.png")).State, TURLState::Failed);
  EXPECT_EQ(dest_.Read("frame.html"), "<img src=\"" + Url("/q/sub/gone.png") + "\">\r\n");

  // The picture and the font are back: a later job that reuses the folder
  // fetches them alone and points the saved page and sheet at them,
  // changing nothing else.
  goneIsBack_ = true;
  server_->ClearRequests();
  Process().Settings.SetSkipExisting(true);
  const auto second = test::RunHeadlessJob();
  ASSERT_TRUE(second.Closed);
  EXPECT_EQ(Requested(), (std::multiset<std::string>{"/q/sub/css/late.woff2", "/q/sub/gone.png"}));
  EXPECT_EQ(dest_.Read("gone.png"), "back");
  EXPECT_EQ(dest_.Read("more.css"), "p{background:url(\"p%2520%281%29.png\")}@font-face{src:url(late.woff2)}");
  std::string expected = page;
  expected.replace(expected.find(Url("/q/sub/gone.png")), Url("/q/sub/gone.png").size(), "gone.png");
  EXPECT_EQ(dest_.Read("INDEX.HTML"), expected);
  // Every page that referred to it, not only the first.
  EXPECT_EQ(dest_.Read("frame.html"), "<img src=\"gone.png\">\r\n");
  for (const auto& [url, entry] : second.Entries) EXPECT_EQ(entry.State, TURLState::Done) << url;
}

TEST_F(RequisitesTest, OneAddressOneDownloadOneFile) {
  Process().PageURL = Url("/d/index.html");
  ASSERT_TRUE(test::RunHeadlessJob().Closed);
  EXPECT_EQ(Requested().count("/d/one.png"), 1u);
  EXPECT_EQ(dest_.Read("one.png"), "PNG one");
  EXPECT_FALSE(std::filesystem::exists(dest_.File("0one.png")));
  EXPECT_EQ(dest_.Read("INDEX.HTML"),
            "<html><body background=\"bg.gif\"><img src=\"one.png\"><img src=\"one.png\">"
            "<a href=\"" + Url("/d/index.html?page=2") + "\">next</a></body></html>\r\n");
}

TEST_F(RequisitesTest, WithoutPicturesABodyBackgroundIsStillSaved) {
  Process().PageURL = Url("/d/index.html");
  Process().Settings.SetSavePictures(false);
  ASSERT_TRUE(test::RunHeadlessJob().Closed);
  EXPECT_EQ(dest_.Read("bg.gif"), "GIF bg");
  EXPECT_EQ(Requested().count("/d/one.png"), 0u);
  EXPECT_NE(dest_.Read("INDEX.HTML").find("<body background=\"bg.gif\">"), std::string::npos);
}

TEST_F(RequisitesTest, WithoutPicturesTheirLinksGoToTheWeb) {
  Process().PageURL = Url("/q/index.html");
  Process().Settings.SetSavePictures(false);
  ASSERT_TRUE(test::RunHeadlessJob().Closed);
  const std::string page = dest_.Read("INDEX.HTML");
  EXPECT_NE(page.find("<img src=\"" + Url("/q/sub/a.png") + "\" srcset=\"" + Url("/q/sub/a.png") +
                      " 1x,\r\n\t" + Url("/q/sub/big,1.png") + " 2x\">"),
            std::string::npos)
      << page;
  EXPECT_EQ(dest_.Read("more.css"), "p{background:url(\"" + Url("/q/sub/css/p%20\\(1\\).png") +
                                        "\")}@font-face{src:url(" + Url("/q/sub/css/late.woff2") + ")}");
  EXPECT_EQ(dest_.Read("f.eot"), "EOT");  // fonts are not pictures
}

TEST_F(RequisitesTest, AddressesOfAPageInAnotherCharacterSetAreAskedForInUtf8) {
  Process().PageURL = Url("/l/latin.html");
  ASSERT_TRUE(test::RunHeadlessJob().Closed);
  EXPECT_EQ(dest_.Read("bild-gr\xC3\xBCn.png"), "PNG latin");
  // A character written as a reference is not converted a second time.
  EXPECT_EQ(dest_.Read("caf\xC3\xA9.png"), "PNG cafe");
  EXPECT_EQ(Requested(), (std::multiset<std::string>{"/l/bild-gr\xC3\xBCn.png", "/l/caf\xC3\xA9.png",
                                                     "/l/latin.html", "/l/pics/inner.png"}));
  // An unquoted srcdoc is written back quoted.
  EXPECT_EQ(dest_.Read("INDEX.HTML"),
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
            "charset=ISO-8859-1\"></head><img src=\"bild-gr%C3%BCn.png\"><img "
            "src=\"bild-gr%C3%BCn.png\"><img src=\"caf%C3%A9.png\">"
            "<iframe srcdoc=\"<img src=inner.png>\"></iframe></html>\r\n");
}

}  // namespace
}  // namespace leafstash
