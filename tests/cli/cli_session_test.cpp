// `leafstash save --cookies --user-agent` against a loopback site that needs
// a session: the signed-in page and its pictures are saved, each request
// carries what a browser would send, and the session reaches no file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "program_process.h"
#include "suite_server.h"
#include "temp_dir.h"

namespace leafstash {
namespace {

using httplib::Request;
using httplib::Response;

// A value found nowhere else, so that finding it anywhere is a leak.
const std::string kSession = "s3ss10n-" + std::to_string(::getpid()) + "-QXJ7";

class CliSessionTest : public test::SuiteWithServer<CliSessionTest> {
 public:
  static void Route(httplib::Server& s) {
    const auto signedIn = [](const Request& q) {
      return q.get_header_value("Cookie").find("sid=" + kSession) != std::string::npos;
    };
    s.Get("/members/index.html", [signedIn](const Request& q, Response& r) {
      if (!signedIn(q)) return r.set_content("<html>Please sign in</html>", "text/html");
      r.set_header("Set-Cookie", "seen=1; Path=/");
      r.set_content("<html><h1>Members only</h1><img src=\"photo.png\">"
                    "<img src=\"http://localhost:" + std::to_string(server_->Port()) +
                        "/badge.png\"><img src=\"after.png\"></html>",
                    "text/html");
    });
    s.Get("/members/photo.png", [signedIn](const Request& q, Response& r) {
      if (!signedIn(q)) {
        r.status = 403;
        return;
      }
      r.set_content("PNG photo", "image/png");
    });
    s.Get("/members/after.png", [](const Request& q, Response& r) {
      // The cookie the page set on its way is sent from then on.
      r.status = q.get_header_value("Cookie").find("seen=1") == std::string::npos ? 403 : 200;
      r.set_content("PNG after", "image/png");
    });
    s.Get("/badge.png", [](const Request&, Response& r) { r.set_content("PNG badge", "image/png"); });
    s.Get("/linked.html", [](const Request&, Response& r) { r.set_content("linked", "text/html"); });
  }

 protected:
  void SetUp() override { server_->ClearRequests(); }

  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LEAFSTASH_CONFIG_DIR", QString::fromStdString(home_.Path()));
    env.insert("HOME", QString::fromStdString(home_.Path()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(home_.File(".config")));
    env.insert("XDG_STATE_HOME", QString::fromStdString(home_.File(".local/state")));
    return env;
  }
  test::CliRun Run(const std::vector<std::string>& Args) {
    auto process = test::StartProcess(LEAFSTASH_EXE, Args, Environment());
    return test::FinishProcess(*process);
  }
  std::string Host() const { return "localhost:" + std::to_string(server_->Port()); }
  const test::RecordedRequest* Asked(const std::string& Path, const std::string& Host) {
    requests_ = server_->Requests();
    for (const auto& request : requests_)
      if (request.path == Path && request.Header("Host") == Host) return &request;
    return nullptr;
  }
  // Every file under Folder whose bytes hold Text.
  static std::vector<std::string> FilesHolding(const std::string& Folder, const std::string& Text) {
    std::vector<std::string> found;
    for (const auto& item : std::filesystem::recursive_directory_iterator(Folder)) {
      if (!item.is_regular_file()) continue;
      std::ifstream in(item.path(), std::ios::binary);
      const std::string data(std::istreambuf_iterator<char>(in), {});
      if (data.find(Text) != std::string::npos) found.push_back(item.path());
    }
    return found;
  }

  test::TempDir home_, dest_, cookies_;
  std::vector<test::RecordedRequest> requests_;
};

TEST_F(CliSessionTest, TheSignedInPageIsSavedAndEachRequestCarriesWhatABrowserSends) {
  const std::string here = "127.0.0.1:" + std::to_string(server_->Port());
  cookies_.Write("cookies.txt",
                 "# Netscape HTTP Cookie File\n"
                 "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\t" + kSession + "\n"
                 "localhost\tFALSE\t/\tFALSE\t0\tother\t" + kSession + "-other\n");
  const test::CliRun run = Run({"save", "--cookies", cookies_.File("cookies.txt"), "--user-agent",
                                "LeafTest/1.0 (a browser)", "--link",
                                "http://" + Host() + "/linked.html", Url("/members/index.html"),
                                dest_.Path()});
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE(dest_.Read("INDEX.HTML").find("Members only"), std::string::npos);
  EXPECT_EQ(dest_.Read("photo.png"), "PNG photo");
  EXPECT_EQ(dest_.Read("after.png"), "PNG after");
  EXPECT_EQ(dest_.Read("badge.png"), "PNG badge");

  const test::RecordedRequest* page = Asked("/members/index.html", here);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->Header("User-Agent"), "LeafTest/1.0 (a browser)");
  EXPECT_EQ(page->Header("Referer"), "");
  const test::RecordedRequest* photo = Asked("/members/photo.png", here);
  ASSERT_TRUE(photo);
  EXPECT_EQ(photo->Header("Referer"), Url("/members/index.html"));
  // Another site's picture: only the page's origin as the referrer, and
  // none of that site's cookies, which a browser keeps to its own pages.
  const test::RecordedRequest* badge = Asked("/badge.png", Host());
  ASSERT_TRUE(badge);
  EXPECT_EQ(badge->Header("Referer"), "http://" + here + "/");
  EXPECT_EQ(badge->Header("Cookie"), "");
  // A page of that site opened from a link gets its Lax cookies.
  const test::RecordedRequest* linked = Asked("/linked.html", Host());
  ASSERT_TRUE(linked);
  EXPECT_EQ(linked->Header("Cookie"), "other=" + kSession + "-other");

  // The session is in no file the job or the program wrote, and in nothing
  // it said.
  EXPECT_EQ(FilesHolding(dest_.Path(), kSession), std::vector<std::string>{});
  EXPECT_EQ(FilesHolding(home_.Path(), kSession), std::vector<std::string>{});
  EXPECT_EQ(run.err.find(kSession), std::string::npos);
}

TEST_F(CliSessionTest, ACookieFileThatCannotBeReadStopsBeforeAnyRequest) {
  cookies_.Write("bad.txt", "127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\t" + kSession + "\nnot a cookie " +
                                kSession + "\n");
  const test::CliRun bad =
      Run({"save", "--cookies", cookies_.File("bad.txt"), Url("/members/index.html"), dest_.Path()});
  EXPECT_EQ(bad.code, 2);
  EXPECT_NE(bad.err.find("line 2 is not a cookie"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.err.find(kSession), std::string::npos) << bad.err;

  const test::CliRun missing = Run(
      {"save", "--cookies", cookies_.File("none.txt"), Url("/members/index.html"), dest_.Path()});
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.err.find("cannot read " + cookies_.File("none.txt")), std::string::npos);

  const test::CliRun agent =
      Run({"save", "--user-agent", "A\r\nX-Evil: 1", Url("/members/index.html"), dest_.Path()});
  EXPECT_EQ(agent.code, 2);
  EXPECT_TRUE(server_->Requests().empty());
}

}  // namespace
}  // namespace leafstash
