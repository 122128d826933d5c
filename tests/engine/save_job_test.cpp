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
    s.Get("/auth.html", [](const Request& q, Response& r) {
      test::AnswerOnlyAnn(q, r, "<html>in</html>", "text/html");
    });
    s.Get("/trickle.bin", [](const Request&, Response& r) {
      r.set_chunked_content_provider("application/octet-stream",
                                     [](size_t offset, httplib::DataSink& sink) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (offset >= 64 * 1024) return sink.done(), true;
        const std::string block(4096, 'x');
        return sink.write(block.data(), block.size());
      });
    });
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
  {
    // Stopped before it was prepared: it never starts.
    TSaveJob job(RequestFor("/ok.html"));
    job.Abort();
    job.Start();
    EXPECT_TRUE(job.IsFinished());
    EXPECT_EQ(job.Outcome().End, TJobEnd::Aborted);
    EXPECT_FALSE(job.Outcome().Ran);
  }
  // Every job removed its warning file and let go of the process's table.
  EXPECT_FALSE(Exists(WarningFilePath(dest_.Path())));
  EXPECT_EQ(Process().URLList, nullptr);
}

// A delegate that keeps its questions; the test decides when to answer.
struct KeptQuestions : TJobUiDelegate {
  void AskCredentials(const std::string& Url, TCredentialsAnswer Answer) override {
    urls.push_back(Url);
    answers.push_back(std::move(Answer));
    if (OnAsk) OnAsk();
  }
  std::vector<std::string> urls;
  std::vector<TCredentialsAnswer> answers;
  std::function<void()> OnAsk;
};

// Abort while one download waits for an answer and another is still
// transferring: both end, nothing is left running, and an answer that
// comes after the job is ignored.
TEST_F(SaveJobTest, AbortWhileAQuestionWaitsAndAnotherDownloadRuns) {
  TSaveRequest request = RequestFor("/ok.html");
  request.Links = {{Url("/auth.html"), ""}, {Url("/trickle.bin"), ""}};
  TSaveJob job(std::move(request));
  KeptQuestions questions;
  job.SetUiDelegate(&questions);
  questions.OnAsk = [&job] { QTimer::singleShot(100, &job, [&job] { job.Abort(); }); };
  const TJobOutcome outcome = Run(job);
  EXPECT_EQ(outcome.End, TJobEnd::Aborted);
  ASSERT_EQ(questions.answers.size(), 1u);
  EXPECT_TRUE(test::WaitUntil([] { return ActiveBindCount() == 0; }, 3000));
  questions.answers[0](TCredentials{"ann", "pw"});  // too late: nothing happens
  EXPECT_EQ(ActiveBindCount(), 0u);
}

// The terminal asks with the event loop running: a job stopped meanwhile
// (Ctrl-C) closes before the question returns, and the download that asked
// must not reach the table the job let go of.
TEST_F(SaveJobTest, AJobClosedWhileTheQuestionIsAskedLetsTheDownloadGo) {
  TSaveRequest request = RequestFor("/ok.html");
  request.Links = {{Url("/auth.html"), ""}, {Url("/trickle.bin"), ""}};
  TSaveJob job(std::move(request));
  struct StoppingDelegate : TJobUiDelegate {
    TSaveJob* Job = nullptr;
    void AskCredentials(const std::string&, TCredentialsAnswer Answer) override {
      QEventLoop loop;
      QObject::connect(Job, &TSaveJob::Finished, &loop, &QEventLoop::quit);
      QTimer::singleShot(0, Job, [this] { Job->Abort(); });
      QTimer::singleShot(5000, &loop, &QEventLoop::quit);
      loop.exec();
      Answer(std::nullopt);
    }
  } stopping;
  stopping.Job = &job;
  job.SetUiDelegate(&stopping);
  const TJobOutcome outcome = Run(job);
  EXPECT_EQ(outcome.End, TJobEnd::Aborted);
  EXPECT_TRUE(test::WaitUntil([] { return ActiveBindCount() == 0; }, 3000));
}

TEST_F(SaveJobTest, AJobThatCannotRunSaysWhyAndLeavesTheFolderAsItWas) {
  Process().Settings.SetSkipExisting(true);
  ::mkdir(dest_.File("lfsta4.log").c_str(), 0755);  // a log that cannot be read
  TSaveRequest request = RequestFor("/ok.html");
  request.ShortcutPath = dest_.File("Page.URL");
  TSaveJob job(std::move(request));
  const TJobOutcome outcome = Run(job);
  EXPECT_FALSE(outcome.Ran);
  EXPECT_EQ(outcome.End, TJobEnd::Failed);
  EXPECT_NE(outcome.Error.find("cannot be read"), std::string::npos) << outcome.Error;
  EXPECT_FALSE(Exists(dest_.File("Page.URL")));
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
