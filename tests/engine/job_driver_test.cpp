// The job driver without a window: reuse of an earlier job, the log kept
// current while the job runs, part files, and links taken along.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

class JobDriverTest : public test::DriverSuite<JobDriverTest> {
 public:
  static void Route(httplib::Server& s) {
    const auto content = [&s](const char* Path, std::string Body, const char* Type) {
      s.Get(Path, [Body, Type](const Request&, Response& r) { r.set_content(Body, Type); });
    };
    // A page whose saved links, read again, look like addresses.
    content("/r/p.html",
            "<html><iframe src=\"page2.html\"></iframe><img src=\"sub/x.gif\"><img src=\"x.gif\">"
            "</html>",
            "text/html");
    content("/r/page2.html", "<html><img src=\"sub/x.gif\"></html>", "text/html");
    content("/r/sub/x.gif", "GIF sub/x", "image/gif");
    content("/r/x.gif", "GIF x", "image/gif");
    // Anchors of every kind.
    s.Get("/links.html", [](const Request&, Response& r) {
      r.set_content("<html><a href=\"a.html\">a</a> <a href='b.html#part'>b</a>"
                    "<map><area href=\"c.html\"></map><a href=\"mailto:x@y\">mail</a>"
                    "<a href=\"http://localhost:" + std::to_string(server_->Port()) +
                        "/other.html\">away</a><img src=\"a.html\"></html>",
                    "text/html");
    });
    for (const char* path : {"/a.html", "/b.html", "/c.html", "/other.html"})
      content(path, "<html>linked</html>", "text/html");
    // Slow pictures, each different.
    s.Get(R"(/slow/(\d+)\.gif)", [](const Request& q, Response& r) {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      r.set_content("GIF" + q.matches[1].str(), "image/gif");
    });
    s.Get("/slow.html", [](const Request&, Response& r) {
      std::string page = "<html>";
      for (int i = 0; i < 12; ++i) page += "<img src=\"slow/" + std::to_string(i) + ".gif\">";
      r.set_content(page + "</html>", "text/html");
    });
  }

 protected:



  // Every file of the folder with its content and its inode.
  std::map<std::string, std::pair<std::string, ino_t>> Files() {
    std::map<std::string, std::pair<std::string, ino_t>> files;
    for (const auto& item : std::filesystem::directory_iterator(dest_.Path())) {
      struct stat info;
      ::lstat(item.path().c_str(), &info);
      files[item.path().filename()] = {dest_.Read(item.path().filename()), info.st_ino};
    }
    return files;
  }
  std::vector<std::string> PartFiles() {
    std::vector<std::string> parts;
    for (const auto& [name, file] : Files())
      if (name.rfind(".lfsta-part-", 0) == 0) parts.push_back(name);
    return parts;
  }
};

TEST_F(JobDriverTest, ASecondJobWithSkipExistingChangesNothing) {
  Process().PageURL = Url("/r/p.html");
  auto first = test::RunHeadlessJob();
  ASSERT_TRUE(first.Closed);
  EXPECT_EQ(dest_.Read("INDEX.HTML"),
            "<html><iframe src=\"page2.html\"></iframe><img src=\"x.gif\"><img src=\"0x.gif\">"
            "</html>\r\n");
  EXPECT_EQ(dest_.Read("page2.html"), "<html><img src=\"x.gif\"></html>\r\n");
  EXPECT_EQ(dest_.Read("x.gif"), "GIF sub/x");
  EXPECT_EQ(dest_.Read("0x.gif"), "GIF x");

  const auto before = Files();
  server_->ClearRequests();
  Process().Settings.SetSkipExisting(true);
  auto second = test::RunHeadlessJob();
  ASSERT_TRUE(second.Closed);
  EXPECT_TRUE(server_->Requests().empty());  // nothing downloaded
  auto after = Files();
  after.erase("lfsta4.log");
  auto kept = before;
  kept.erase("lfsta4.log");
  EXPECT_EQ(after, kept);  // same bytes, and not even written again
  const TURLEntry& page2 = second.Entries[Url("/r/page2.html")];
  EXPECT_EQ(page2.Kind, TURLKind::Page);
  EXPECT_EQ(page2.State, TURLState::Done);
  for (const auto& [url, entry] : second.Entries) EXPECT_EQ(entry.State, TURLState::Done) << url;
}

TEST_F(JobDriverTest, TheLogIsCurrentWhileTheJobRuns) {
  Process().PageURL = Url("/slow.html");
  std::size_t checked = 0;
  auto outcome = test::RunHeadlessJob({}, [&](TJobDriver& driver) {
    QObject::connect(&driver, &TJobDriver::EntryFinished, [&](std::size_t index) {
      // The file is in place and the log on disk already says so.
      const TURLEntry& entry = Process().URLList->Item(index);
      const std::string log = dest_.Read("lfsta4.log");
      ASSERT_GE(log.size(), (index + 1) * kLogRecordSize);
      const auto record =
          DecodeLogRecord(reinterpret_cast<const unsigned char*>(log.data() + index * kLogRecordSize));
      ASSERT_TRUE(record);
      EXPECT_EQ(record->EntryURL, entry.EntryURL);
      EXPECT_EQ(record->State, entry.State);
      EXPECT_EQ(record->LocalName, entry.LocalName);
      if (entry.State == TURLState::Done) {
        EXPECT_EQ(dest_.Read(entry.LocalName), "GIF" + entry.LocalName.substr(0, entry.LocalName.find('.')));
        ++checked;
      }
    });
  });
  ASSERT_TRUE(outcome.Closed);
  EXPECT_EQ(checked, 12u);
  EXPECT_TRUE(PartFiles().empty());
}

TEST_F(JobDriverTest, AbortLeavesNoPartFilesAndNoHalfFiles) {
  Process().PageURL = Url("/slow.html");
  auto outcome = test::RunHeadlessJob({}, [&](TJobDriver& driver) {
    QObject::connect(&driver, &TJobDriver::EntryFinished, [&driver](std::size_t index) {
      if (Process().URLList->Item(index).Kind == TURLKind::Picture) driver.Abort();
    });
  });
  ASSERT_TRUE(outcome.Closed);
  EXPECT_TRUE(PartFiles().empty());
  std::size_t saved = 0;
  for (const auto& [url, entry] : outcome.Entries) {
    if (entry.Kind != TURLKind::Picture) continue;
    const bool there = std::filesystem::exists(dest_.File(entry.LocalName));
    EXPECT_EQ(there, entry.State == TURLState::Done) << url;
    saved += there;
  }
  EXPECT_GE(saved, 1u);
  EXPECT_LT(saved, 12u);
}

TEST_F(JobDriverTest, OnlyPartFilesOfEndedProcessesAreCleanedUp) {
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string mine = ".lfsta-part-" + std::to_string(::getpid()) + "-77";
  const std::string left = ".lfsta-part-" + std::to_string(ended) + "-1";
  dest_.Write(mine, "another job's download");
  dest_.Write(left, "half a picture");
  Process().PageURL = Url("/r/page2.html");
  ASSERT_TRUE(test::RunHeadlessJob().Closed);
  EXPECT_TRUE(std::filesystem::exists(dest_.File(mine)));
  EXPECT_FALSE(std::filesystem::exists(dest_.File(left)));
  ::unlink(dest_.File(mine).c_str());
}

TEST_F(JobDriverTest, AnAbortAfterTheRewriteStopsNothing) {
  Process().PageURL = Url("/r/p.html");
  bool abortedAtClose = true;
  auto outcome = test::RunHeadlessJob({}, [&](TJobDriver& driver) {
    QObject::connect(&driver, &TJobDriver::ProgressChanged, [&driver](bool full) {
      const TJobFigures f = driver.Figures();
      if (!full && f.Rewriting && f.BarPosition == f.BarMaximum) driver.Abort();
    });
    QObject::connect(&driver, &TJobDriver::JobClosed,
                     [&] { abortedAtClose = driver.Aborted(); });
  });
  ASSERT_TRUE(outcome.Closed);
  EXPECT_FALSE(abortedAtClose);
  EXPECT_EQ(outcome.Entries[Url("/r/p.html")].State, TURLState::Done);
}

TEST_F(JobDriverTest, AFileInTheWayIsReplacedNeverFollowed) {
  Process().PageURL = Url("/r/page2.html");
  const std::string outside = dest_.File("../leafstash-outside-target");
  ::symlink(outside.c_str(), dest_.File("x.gif").c_str());
  auto outcome = test::RunHeadlessJob();
  ASSERT_TRUE(outcome.Closed);
  EXPECT_FALSE(std::filesystem::exists(outside));
  EXPECT_FALSE(std::filesystem::is_symlink(dest_.File("x.gif")));
  EXPECT_EQ(dest_.Read("x.gif"), "GIF sub/x");
}

TEST_F(JobDriverTest, AnchorsOfTheBrowserPageTakenAlong) {
  Process().PageURL = Url("/links.html");
  auto all = test::RunHeadlessJob({}, [](TJobDriver& d) { d.TakeLinks = TLinkChoice::All; });
  ASSERT_TRUE(all.Closed);
  for (const char* path : {"/a.html", "/b.html", "/c.html"})
    EXPECT_EQ(all.Entries[Url(path)].State, TURLState::Done) << path;
  const std::string away = "http://localhost:" + std::to_string(server_->Port()) + "/other.html";
  EXPECT_EQ(all.Entries[away].State, TURLState::Done);
  EXPECT_EQ(all.Entries[Url("/a.html")].Referrer, "");  // as a checked row of the list
  EXPECT_EQ(all.Entries.size(), 5u);
  // The saved page points at the copies.
  EXPECT_NE(dest_.Read("INDEX.HTML").find("href='b.html#part'"), std::string::npos);

  test::TempDir other;
  Process().DestPath = other.Path();
  auto internal = test::RunHeadlessJob({}, [](TJobDriver& d) { d.TakeLinks = TLinkChoice::Internal; });
  EXPECT_EQ(internal.Entries.size(), 4u);
  EXPECT_FALSE(internal.Entries.count(away));
  // Without a choice, anchors stay links.
  test::TempDir none;
  Process().DestPath = none.Path();
  EXPECT_EQ(test::RunHeadlessJob().Entries.size(), 2u);  // the page, and a.html as a picture
}

}  // namespace
}  // namespace leafstash
