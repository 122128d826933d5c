// A save job made from a request, as every face runs it: how it ends, and
// what it leaves in the folder and the process.
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "core/process_values.h"
#include "driver_suite.h"
#include "engine/save_job.h"
#include "engine/save_job_setup.h"

namespace leafstash {
namespace {

using httplib::Request;
using httplib::Response;

bool Exists(const std::string& Path) {
  struct stat info;
  return ::stat(Path.c_str(), &info) == 0;
}

class SaveJobTest : public test::DriverSuite<SaveJobTest> {
 public:
  static void Route(httplib::Server& s) {
    s.Get("/ok.html", [](const Request&, Response& r) {
      r.set_content("<html><img src=\"a.gif\"></html>", "text/html");
    });
    s.Get("/partly.html", [](const Request&, Response& r) {
      r.set_content("<html><img src=\"a.gif\"><img src=\"gone.gif\"></html>", "text/html");
    });
    s.Get("/slow.html", [](const Request&, Response& r) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      r.set_content("<html></html>", "text/html");
    });
    s.Get("/a.gif", [](const Request&, Response& r) { r.set_content("GIF89a", "image/gif"); });
  }

 protected:
  TSaveRequest RequestFor(const std::string& Path) {
    TSaveRequest request;
    request.PageURL = Url(Path);
    request.PageTitle = "Page";
    request.DestPath = dest_.Path();
    request.Options = Process().Settings;
    return request;
  }

  // Runs the job to its end, calling During once it runs.
  static TJobOutcome Run(TSaveJob& Job, const std::function<void()>& During = {}) {
    QEventLoop loop;
    QObject::connect(&Job, &TSaveJob::Finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (!Job.Prepare()) return Job.Outcome();
    Job.Start();
    if (During) QTimer::singleShot(50, &Job, During);
    if (!Job.IsFinished()) loop.exec();
    EXPECT_TRUE(Job.IsFinished());
    return Job.Outcome();
  }
};

TEST_F(SaveJobTest, EachKindOfEnding) {
  {
    TSaveRequest request = RequestFor("/ok.html");
    request.ShortcutPath = dest_.File("Page.URL");
    TSaveJob job(std::move(request));
    const TJobOutcome outcome = Run(job);
    EXPECT_EQ(outcome.End, TJobEnd::Saved);
    EXPECT_TRUE(outcome.Ran);
    EXPECT_EQ(outcome.Saved, 2u);
    EXPECT_TRUE(outcome.Failures.empty());
    EXPECT_EQ(outcome.PagePath, dest_.File("INDEX.HTML"));
    EXPECT_EQ(dest_.Read("Page.URL"), "[InternetShortcut]\r\nURL=" + Url("/ok.html") + "\r\n");
  }
  {
    TSaveJob job(RequestFor("/partly.html"));
    const TJobOutcome outcome = Run(job);
    EXPECT_EQ(outcome.End, TJobEnd::PartlySaved);
    ASSERT_EQ(outcome.Failures.size(), 1u);
    EXPECT_EQ(outcome.Failures[0].rfind(Url("/gone.gif") + ": ", 0), 0u) << outcome.Failures[0];
    EXPECT_FALSE(outcome.PageFailure);
  }
  {
    TSaveJob job(RequestFor("/missing.html"));
    const TJobOutcome outcome = Run(job);
    EXPECT_EQ(outcome.End, TJobEnd::Failed);
    EXPECT_TRUE(outcome.PageFailure);
    EXPECT_TRUE(outcome.PagePath.empty());
  }
  {
    TSaveJob job(RequestFor("/slow.html"));
    const TJobOutcome outcome = Run(job, [&job] { job.Abort(); });
    EXPECT_EQ(outcome.End, TJobEnd::Aborted);
    EXPECT_TRUE(outcome.Ran);
  }
  {
    // Stopped before it started: nothing ran, and everything is let go.
    TSaveJob job(RequestFor("/ok.html"));
    ASSERT_TRUE(job.Prepare());
    job.Abort();
    EXPECT_TRUE(job.IsFinished());
    EXPECT_EQ(job.Outcome().End, TJobEnd::Aborted);
    EXPECT_FALSE(job.Outcome().Ran);
  }
  // Every job removed its warning file and let go of the process's table.
  EXPECT_FALSE(Exists(WarningFilePath(dest_.Path())));
  EXPECT_EQ(Process().URLList, nullptr);
}

TEST_F(SaveJobTest, AJobThatCannotRunSaysWhyAndLeavesTheFolderAsItWas) {
  Process().Settings.SetSkipExisting(true);
  ::mkdir(dest_.File("lfsta4.log").c_str(), 0755);  // a log that cannot be read
  TSaveJob job(RequestFor("/ok.html"));
  const TJobOutcome outcome = Run(job);
  EXPECT_FALSE(outcome.Ran);
  EXPECT_EQ(outcome.End, TJobEnd::Failed);
  EXPECT_NE(outcome.Error.find("cannot be read"), std::string::npos) << outcome.Error;
  EXPECT_TRUE(std::filesystem::is_directory(dest_.File("lfsta4.log")));
  EXPECT_FALSE(Exists(dest_.File("INDEX.HTML")));
  EXPECT_FALSE(Exists(WarningFilePath(dest_.Path())));
  EXPECT_EQ(errors_.size(), 1u);  // the log's own error, reported as it happened
  errors_.clear();
}

TEST_F(SaveJobTest, WhatTheBrowserHandedOverGoesWithTheJob) {
  TSaveRequest request = RequestFor("/ok.html");
  request.Handover.UserAgent = "Test/1";
  request.Handover.Cookies.push_back({"sid", "x", "127.0.0.1"});
  TSaveJob job(std::move(request));
  ASSERT_TRUE(job.Prepare());
  EXPECT_EQ(Process().Handover.UserAgent, "Test/1");
  EXPECT_TRUE(job.Request().Handover.Cookies.empty());  // moved, not copied
  Run(job);
  EXPECT_TRUE(Process().Handover.UserAgent.empty());
  EXPECT_TRUE(Process().Handover.Cookies.empty());
}

}  // namespace
}  // namespace leafstash
