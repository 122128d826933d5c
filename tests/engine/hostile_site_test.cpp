// Whole jobs against a server that misbehaves in every way a real one can:
// each job ends, and its log tells what became of every address.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "headless_job.h"
#include "qt_wait.h"
#include "temp_dir.h"
#include "driver_suite.h"
#include "platform/urlmon/urlmon.h"

namespace leafstash {
namespace {

using httplib::Request;
using httplib::Response;

constexpr int kFrameChain = 500;

class HostileSiteTest : public test::DriverSuite<HostileSiteTest> {
 public:
  static void Route(httplib::Server& s) {
    // Each case is a picture of a page that shows only it.
    s.Get(R"(/h/(\w+)\.html)", [](const Request& q, Response& r) {
      r.set_content("<html><img src=\"" + q.matches[1].str() + ".gif\"></html>", "text/html");
    });
    s.Get("/h/stall.gif", [](const Request&, Response& r) {
      r.set_chunked_content_provider("image/gif", [](std::size_t offset, httplib::DataSink& sink) {
        if (offset == 0) return sink.write("GIF", 3);
        Busy(2000);
        sink.done();
        return true;
      });
    });
    s.Get("/h/drip.gif", [](const Request&, Response& r) {
      // A byte every 200 ms: 20 s for the whole picture.
      r.set_chunked_content_provider("image/gif", [](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= 100) {
          sink.done();
          return true;
        }
        Busy(200);
        return sink.write("x", 1);
      });
    });
    s.Get("/h/short.gif", [](const Request&, Response& r) {
      // Promises 1000 bytes, sends 10 and hangs up.
      r.set_content_provider(1000, "image/gif", [](std::size_t, std::size_t, httplib::DataSink& sink) {
        sink.write("GIF89a0123", 10);
        return false;
      });
    });
    s.Get("/h/refused.gif", [](const Request&, Response& r) {
      r.status = 401;
      r.set_header("WWW-Authenticate", "Basic realm=\"never\"");
    });
    s.Get("/h/loop.gif", [](const Request&, Response& r) {
      r.status = 302;
      r.set_header("Location", "/h/loop.gif");
      r.set_content("moved", "text/plain");
    });
    s.Get("/h/empty.gif", [](const Request&, Response& r) { r.set_content("", "image/gif"); });
    s.Get("/nul.html", [](const Request&, Response& r) {
      r.set_content(std::string("<html>\0<img src=\"h/empty.gif\"></html>", 37), "text/html");
    });
    s.Get("/huge.html", [](const Request&, Response& r) {
      // Text that does not compress much, or the server's gzip would make
      // it look like a compression bomb.
      std::string filler(33u << 20, ' ');
      unsigned seed = 1;
      for (char& c : filler) c = static_cast<char>('a' + ((seed = seed * 1103515245 + 12345) >> 16) % 26);
      r.set_content("<html><img src=\"h/empty.gif\">" + filler + "</html>", "text/html");
    });
    s.Get(R"(/chain/(\d+)\.html)", [](const Request& q, Response& r) {
      const int n = std::stoi(q.matches[1]);
      r.set_content(n < kFrameChain ? "<iframe src=\"" + std::to_string(n + 1) + ".html\"></iframe>"
                                    : std::string("the end"),
                    "text/html");
    });
  }

 protected:

  void SetUp() override {
    DriverSuite::SetUp();
    TSettings& settings = Process().Settings;
    settings.SetMaxThreads(5);
    settings.SetAutoSkip(true);
    settings.SetSkipSeconds(1);
  }
  void TearDown() override {
    EXPECT_TRUE(test::WaitUntil([] { return busy_ == 0; }, 25000));
    DriverSuite::TearDown();
  }

  // A server thread that keeps a connection busy.
  static void Busy(int Ms) {
    ++busy_;
    std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
    --busy_;
  }

  // Saves the page of one case and returns what became of its picture.
  test::JobOutcome SaveCase(const std::string& Case) {
    Process().PageURL = Url("/h/" + Case + ".html");
    test::JobOutcome outcome = test::RunHeadlessJob();
    EXPECT_TRUE(outcome.Closed) << Case;
    EXPECT_EQ(outcome.Entries[Process().PageURL].State, TURLState::Done) << Case;
    return outcome;
  }

  static inline std::atomic<int> busy_{0};
};

TEST_F(HostileSiteTest, AStalledAnswerIsSkipped) {
  auto outcome = SaveCase("stall");
  EXPECT_EQ(outcome.Entries[Url("/h/stall.gif")].State, TURLState::Failed);
  EXPECT_EQ(outcome.Reasons[Url("/h/stall.gif")], "timed out: no data came");
}

TEST_F(HostileSiteTest, AByteAtATimeIsSkippedLikeAStall) {
  auto outcome = SaveCase("drip");
  EXPECT_EQ(outcome.Entries[Url("/h/drip.gif")].State, TURLState::Failed);
  EXPECT_EQ(outcome.Reasons[Url("/h/drip.gif")], "timed out: no data came");
}

TEST_F(HostileSiteTest, AShortBodyFailsAndLeavesNoFile) {
  auto outcome = SaveCase("short");
  EXPECT_EQ(outcome.Entries[Url("/h/short.gif")].State, TURLState::Failed);
  EXPECT_FALSE(std::filesystem::exists(dest_.File("short.gif")));
}

TEST_F(HostileSiteTest, CredentialsRefusedForEverAreGivenOnce) {
  Process().Settings.SetUserName("ann");
  Process().Settings.SetPassword("pw");
  auto outcome = SaveCase("refused");
  EXPECT_EQ(outcome.Reasons[Url("/h/refused.gif")], "HTTP 401");
  std::size_t asked = 0;
  for (const auto& request : server_->Requests()) asked += request.path == "/h/refused.gif";
  EXPECT_EQ(asked, 2u);  // once without, once with the stored credentials
}

TEST_F(HostileSiteTest, ARedirectionToItselfEndsAtTheLimit) {
  auto outcome = SaveCase("loop");
  EXPECT_EQ(outcome.Entries[Url("/h/loop.gif")].State, TURLState::Failed);
  EXPECT_NE(outcome.Reasons[Url("/h/loop.gif")].find("too many redirections"), std::string::npos);
}

TEST_F(HostileSiteTest, AnEmptyAnswerIsAnEmptyFile) {
  auto outcome = SaveCase("empty");
  EXPECT_EQ(outcome.Entries[Url("/h/empty.gif")].State, TURLState::Done);
  EXPECT_EQ(dest_.Read("empty.gif"), "");
  EXPECT_TRUE(std::filesystem::exists(dest_.File("empty.gif")));
}

TEST_F(HostileSiteTest, APageWithNulBytesIsKeptAsItCame) {
  Process().PageURL = Url("/nul.html");
  auto outcome = test::RunHeadlessJob();
  ASSERT_TRUE(outcome.Closed);
  EXPECT_EQ(outcome.Entries[Url("/nul.html")].State, TURLState::Done);
  EXPECT_EQ(dest_.Read("INDEX.HTML"), std::string("<html>\0<img src=\"h/empty.gif\"></html>", 37));
  EXPECT_FALSE(outcome.Entries.count(Url("/h/empty.gif")));  // not scanned
}

TEST_F(HostileSiteTest, APageTooLargeToScanIsKeptAsItCame) {
  Process().PageURL = Url("/huge.html");
  Process().Settings.SetSkipSeconds(20);  // the server compresses it first
  auto outcome = test::RunHeadlessJob();
  ASSERT_TRUE(outcome.Closed);
  EXPECT_EQ(outcome.Entries[Url("/huge.html")].State, TURLState::Done) << outcome.Reasons[Url("/huge.html")];
  EXPECT_EQ(std::filesystem::file_size(dest_.File("INDEX.HTML")), (33u << 20) + 36);
  EXPECT_FALSE(outcome.Entries.count(Url("/h/empty.gif")));  // not scanned
}

TEST_F(HostileSiteTest, AFrameChainFiveHundredDeepIsSavedWhole) {
  Process().PageURL = Url("/chain/1.html");
  auto outcome = test::RunHeadlessJob();
  ASSERT_TRUE(outcome.Closed);
  ASSERT_EQ(outcome.Entries.size(), static_cast<std::size_t>(kFrameChain));
  for (const auto& [url, entry] : outcome.Entries) EXPECT_EQ(entry.State, TURLState::Done) << url;
  EXPECT_EQ(dest_.Read("499.html"), "<iframe src=\"500.html\"></iframe>\r\n");
  // The log holds every page, finished.
  const std::string log = dest_.Read("lfsta4.log");
  EXPECT_EQ(log.size(), kFrameChain * kLogRecordSize);
}

}  // namespace
}  // namespace leafstash
