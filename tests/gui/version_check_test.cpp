// The new-version check against a loopback site: what each answer shows,
// when a check runs at all, and what it leaves behind.
#include <chrono>
#include <filesystem>
#include <thread>

#include "qt_wait.h"
#include "core/settings.h"
#include "start_form_fixture.h"
#include "suite_server.h"
#include "gui/version_check.h"

namespace leafstash {
namespace {

using httplib::Request;
using httplib::Response;

class VersionCheckTest : public test::SuiteWithServer<VersionCheckTest>,
                         public test::StartFormFixture {
 public:
  static void Route(httplib::Server& s) {
    const auto file = [&s](const std::string& Folder, int Status, const std::string& Body) {
      s.Get("/" + Folder + "/lfsta.ver", [=](const Request&, Response& r) {
        r.status = Status;
        r.set_content(Body, "text/plain");
      });
    };
    file("new", 200, "Leafstash 4.1\r\nwhat is new\r\n");
    file("same", 200, "Leafstash 4.0\r\n");
    file("case", 200, "LEAFSTASH 4.0\n");
    file("portal", 200, "<!DOCTYPE html>\n<html>Sign in to the network</html>\n");
    file("error", 500, "Leafstash 9.9\n");
    file("big", 200, "Leafstash 4.1\n" + std::string(100 * 1024, 'x'));
    s.Get("/slow/lfsta.ver", [](const Request&, Response& r) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      r.set_content("Leafstash 4.1\n", "text/plain");
    });
  }

 protected:
  VersionCheckTest() {
    Process().VersionFile = dir_.File("lfsta.ver");
    Process().SettingsFile = dir_.File("lfsta.cfg");
    server_->ClearRequests();
  }

  // Runs one check against the site's folder Folder (with the component's
  // own time-out unless TimeOutMs is given); the text of the message box
  // it showed, empty when none.
  std::string Check(const std::string& Folder, int TimeOutMs = 0) {
    // Due, whatever the check before recorded.
    Process().Settings.SetLastCheckDate(0);
    return Run(Folder, TimeOutMs);
  }
  // The same with the options as they are.
  std::string Run(const std::string& Folder, int TimeOutMs = 0) {
    Process().SiteURL = Url("/" + Folder + "/");
    TNewVersionCheck check(nullptr);
    EXPECT_EQ(check.IEDVer.TimeOut, 60000);
    if (TimeOutMs) check.IEDVer.TimeOut = TimeOutMs;
    std::string shown;
    auto answer = test::AnswerBox(QMessageBox::Ok, &shown);
    check.CheckNewVersion();
    EXPECT_TRUE(test::WaitUntil([&] { return !check.Running(); }));
    return shown;
  }
  double StoredCheckDate() {
    TSettings stored;
    LoadSettingsFile(Process().SettingsFile, stored);
    return stored.LastCheckDate();
  }

  test::TempDir dir_;
};

TEST_F(VersionCheckTest, OnlyAnotherVersionsNameIsAnnounced) {
  EXPECT_EQ(Check("new"), "Leafstash 4.1 is available.");
  const std::vector<test::RecordedRequest> requests = server_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, "/new/lfsta.ver");
  EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 5.0; Win32)");
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(StoredCheckDate(), TodayAsDayCount());

  EXPECT_EQ(Check("same"), "");
  EXPECT_EQ(Check("case"), "LEAFSTASH 4.0 is available.");
  // A page the network put in the file's place, an error page, a file
  // larger than a version file can be, a missing one, and one that takes
  // longer than the time-out.
  for (const char* folder : {"portal", "error", "missing", "big"})
    EXPECT_EQ(Check(folder), "") << folder;
  EXPECT_LE(std::filesystem::file_size(Process().VersionFile), kMaxVersionFile);
  EXPECT_EQ(Check("slow", 300), "");
}

TEST_F(VersionCheckTest, AnAnswerRecordsTheDateAndOnlyTheDate) {
  // The user's stored options, and others changed in the window but not
  // chosen as the defaults.
  TSettings stored;
  stored.SetFolder("/home/ann/pages");
  stored.SetPassword("secret");
  ASSERT_TRUE(SaveSettingsFile(Process().SettingsFile, stored));
  const std::string before = dir_.Read("lfsta.cfg");
  Process().Settings = stored;
  Process().Settings.SetFolder("/tmp/elsewhere");

  // No answer at all: still due. The old file went before the attempt.
  dir_.Write("lfsta.ver", "Leafstash 9.9\r\n");
  EXPECT_EQ(Check("slow", 300), "");
  EXPECT_FALSE(std::filesystem::exists(Process().VersionFile));
  EXPECT_EQ(dir_.Read("lfsta.cfg"), before);

  // A missing file is an answer: the date is kept, nothing else changes.
  EXPECT_EQ(Check("missing"), "");
  EXPECT_EQ(Process().Settings.LastCheckDate(), TodayAsDayCount());
  const std::string after = dir_.Read("lfsta.cfg");
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after.substr(0, 416), before.substr(0, 416));
  EXPECT_EQ(after.substr(424), before.substr(424));
  EXPECT_EQ(StoredCheckDate(), TodayAsDayCount());
}

TEST_F(VersionCheckTest, RunsOnlyWhenOnAndDueAndTheOldFileCanGo) {
  TSettings stored;
  stored.SetCheckVersion(false);
  stored.SetCheckIntervalDays(30);
  Process().Settings = stored;
  dir_.Write("lfsta.ver", "Leafstash 9.9\r\n");
  EXPECT_EQ(Check("new"), "");
  EXPECT_TRUE(std::filesystem::exists(Process().VersionFile));

  // Checked 30 days ago: not due yet with an interval of 30; 31: due.
  stored.SetCheckVersion(true);
  const auto checkedDaysAgo = [&](int Days) {
    stored.SetLastCheckDate(TodayAsDayCount() - Days);
    Process().Settings = stored;
    return Run("new");
  };
  EXPECT_EQ(checkedDaysAgo(30), "");
  EXPECT_TRUE(server_->Requests().empty());
  EXPECT_EQ(checkedDaysAgo(31), "Leafstash 4.1 is available.");
  // A date to come is a clock that was wrong once.
  EXPECT_EQ(checkedDaysAgo(-400), "Leafstash 4.1 is available.");

  // A home page that is no web address (a language file without one).
  server_->ClearRequests();
  Process().Settings = TSettings();
  for (const char* site : {"", "file:///etc/", "lfsta/"}) {
    Process().SiteURL = site;
    TNewVersionCheck check(nullptr);
    check.CheckNewVersion();
    EXPECT_FALSE(check.Running()) << site;
  }
  EXPECT_TRUE(server_->Requests().empty());

  // An old version file that cannot be deleted would be resumed: no check.
  server_->ClearRequests();
  std::filesystem::remove(Process().VersionFile);
  std::filesystem::create_directory(Process().VersionFile);
  dir_.Write("lfsta.ver/kept", "");
  Process().Settings = TSettings();
  EXPECT_EQ(Check("new"), "");
  EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(VersionCheckTest, TheStartWindowChecksOnceAndTheDateHoldsTheNext) {
  Process().SiteURL.clear();
  Process().VersionFile = dir_.File("lfsta.ver");
  // The English language file names the home page; point it at the site.
  test::TempDir lang;
  lang.Write("English.lng", "btnStart=Start\r\nLfStaSiteEng=" + Url("/new/") + "\r\n");
  Process().LangDir = lang.Path();
  std::string shown;
  {
    auto answer = test::AnswerBox(QMessageBox::Ok, &shown);
    Shown();
    EXPECT_TRUE(test::WaitUntil([&] { return !Form().VersionCheck->Running(); }));
  }
  EXPECT_EQ(shown, "Leafstash 4.1 is available.");
  EXPECT_EQ(server_->Requests().size(), 1u);

  // The next start of the program, within the interval.
  form_.reset();
  ResetProcessValues();
  Process().LangDir = lang.Path();
  Process().SettingsFile = dir_.File("lfsta.cfg");
  Process().VersionFile = dir_.File("lfsta.ver");
  Shown();
  test::RunFor(200);
  EXPECT_FALSE(Form().VersionCheck->Running());
  EXPECT_EQ(server_->Requests().size(), 1u);
}

TEST(VersionLine, TheFormOfAVersionName) {
  EXPECT_EQ(NewVersionLine("Leafstash 4.1\r\nLeafstash 4.0"), "Leafstash 4.1");
  EXPECT_EQ(NewVersionLine("Leafstash 12.345\n"), "Leafstash 12.345");
  EXPECT_EQ(NewVersionLine("leafstash 4.0"), "leafstash 4.0");
  for (const char* line : {"Leafstash 4.0", "Leafstash 4.0\r\n", "Leafstash 4", "Leafstash 4.",
                           "Leafstash .1", "Leafstash 4.1 beta", "Leafstash  4.1", "Leafstash4.1",
                           "<!DOCTYPE html>", "", "\nLeafstash 4.1", "Leafstash 4.1.2"})
    EXPECT_EQ(NewVersionLine(line), "") << line;
}

}  // namespace
}  // namespace leafstash
