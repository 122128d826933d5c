// Whole save jobs on the offscreen platform against a site on 127.0.0.1.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocumentFragment>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <map>

#include "gui/app_title.h"
#include "gui/auth_form.h"
#include "gui/beep.h"
#include "engine/job_texts.h"
#include "gui/main_form.h"
#include "host/page_snapshot.h"
#include "core/process_values.h"
#include "qt_wait.h"
#include "gui/run_job.h"
#include "engine/save_job_setup.h"
#include "temp_dir.h"
#include "test_server.h"

namespace leafstash {
namespace {

// A hint as the user reads it.
std::string HintText(const QWidget* Control) {
  return QTextDocumentFragment::fromHtml(Control->toolTip()).toPlainText().toStdString();
}


using httplib::Request;
using httplib::Response;

const char* const kIndex =
    "<html><head><title>Site</title>\n"
    "<style>body { background: url(bg.gif) }</style>\n"
    "<script src=\"js/app.js\"></script></head>\n"
    "<body background='back.jpg'>\n"
    "<img src=\"pics/a.gif\"><img src='pics/b.jpg'><img src=missing.gif alt=x>\n"
    "<img src=\"moved.gif\"><img src=\"empty.gif\"><img src=\"stall.gif\">\n"
    "<img src=\"p1.gif\"><img src=\"p2.gif\"><img src=\"p3.gif\"><img src=\"p4.gif\">\n"
    "<a href=\"/\">home</a><br/><a href=\"http://elsewhere.invalid/\">see /</a>\n"
    "<a href=\"cgi/show\">show</a><a href=\"f1.html#top\">frame</a>\n"
    "</body></html>\n";

// Links written the ways pages write them.
const char* const kLinks =
    "<html><body>\n"
    "<IMG SRC = \"x.gif\"><img src=\" x.gif \">\n"
    "<img src=\"a.php?x=1&amp;y=2\">\n"
    "<img src=\"c%20d.gif\">\n"
    "<img src=\"br\nk.gif\">\n"
    "<a href=\"links.html#a&quot;b\">self</a>\n"
    "</body></html>\n";

bool FileExists(const std::string& Path) {
  struct stat info;
  return ::stat(Path.c_str(), &info) == 0;
}

// The site: its requests are counted, and how many run at once.
class SiteTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new test::TestServer();
    auto& s = server_->Routes();
    const auto slow = [](Response& r, const std::string& body, const char* type) {
      Enter();
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      r.set_content(body, type);
      Leave();
    };
    s.Get("/site/index.html", [=](const Request&, Response& r) { slow(r, kIndex, "text/html"); });
    s.Get("/site/f1.html", [=](const Request&, Response& r) {
      slow(r, "<html><img src=\"pics/a.gif\"><a href=\"index.html\">up</a></html>", "text/html");
    });
    s.Get("/site/f2.html", [=](const Request&, Response& r) { slow(r, "<html>two\n</html>", "text/html"); });
    s.Get("/site/cgi/show", [=](const Request&, Response& r) {
      slow(r, "<html><img src=\"../pics/a.gif\"></html>", "text/html; charset=utf-8");
    });
    for (const char* name : {"/site/pics/a.gif", "/site/pics/real.gif", "/site/bg.gif",
                             "/site/p1.gif", "/site/p2.gif", "/site/p3.gif", "/site/p4.gif"})
      s.Get(name, [=](const Request& q, Response& r) { slow(r, "GIF89a" + q.path, "image/gif"); });
    s.Get("/site/to-auth", [](const Request&, Response& r) {
      r.set_redirect("http://localhost:" + std::to_string(server_->Port()) + "/auth/index.html", 302);
    });
    s.Get("/site/links.html", [](const Request&, Response& r) { r.set_content(kLinks, "text/html"); });
    for (const char* name : {"/site/x.gif", "/site/a.php", "/site/c d.gif", "/site/brk.gif"})
      s.Get(name, [](const Request& q, Response& r) { r.set_content("GIF89a" + q.path, "image/gif"); });
    s.Get("/site/pics/b.jpg", [=](const Request&, Response& r) { slow(r, "JPEG", "image/jpeg"); });
    s.Get("/site/back.jpg", [=](const Request&, Response& r) { slow(r, "BACK", "image/jpeg"); });
    s.Get("/site/js/app.js", [=](const Request&, Response& r) { slow(r, "var x;", "application/javascript"); });
    s.Get("/site/moved.gif", [](const Request&, Response& r) { r.set_redirect("/site/pics/real.gif", 302); });
    s.Get("/site/missing.gif", [](const Request&, Response& r) {
      r.status = 404;
      r.set_content("no", "text/plain");
    });
    s.Get("/site/empty.gif", [](const Request&, Response& r) { r.set_content("", "image/gif"); });
    s.Get("/site/stall.gif", [](const Request&, Response& r) {
      r.set_chunked_content_provider("image/gif", [](std::size_t offset, httplib::DataSink& sink) {
        if (offset == 0) {
          sink.write("GIF", 3);
          return true;
        }
        ++stalling_;
        std::this_thread::sleep_for(std::chrono::milliseconds(1800));
        --stalling_;
        sink.done();
        return true;
      });
    });
    s.Get("/site/binary", [](const Request&, Response& r) {
      r.set_content(std::string("%PDF\0<img src=x.gif>", 20), "text/html");
    });
    s.Get("/auth/index.html", [](const Request& q, Response& r) {
      test::AnswerOnlyAnn(q, r, "<html>in</html>", "text/html");
    });
    server_->Start();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ResetProcessValues();
    ClearBeeps();
    server_->ClearRequests();
    maxInFlight_ = 0;
    TProcessValues& p = Process();
    p.DestPath = dest_.Path();
    p.PageURL = Url("/site/index.html");
    p.PageTitle = "Site";
    p.ReportError = [this](const std::string& message) { errors_.push_back(message); };
    p.Texts.SaveWPStr = "Saved";
    p.Texts.FileRecStr = "files";
    p.Texts.ByteRecStr = "bytes";
    p.Texts.btnAbortStr = "Abort";
    p.BrowserWindow = BuildWindowFromSnapshot(
        "{\"url\": \"" + p.PageURL + "\", \"title\": \"Site\", \"frames\": ["
        "{\"location\": \"" + Url("/site/f1.html") + "\", \"title\": \"F1\"},"
        "{\"location\": \"" + Url("/site/f2.html") + "\", \"title\": \"F2\"}]}");
    p.Settings.SetSavePictures(true);
    p.Settings.SetMaxThreads(5);
    p.Settings.SetAutoSkip(true);
    p.Settings.SetSkipSeconds(1);
  }
  void TearDown() override {
    EXPECT_TRUE(test::WaitUntil([] { return ActiveBindCount() == 0; }, 5000));
    // A stalled answer the job gave up on still runs on the server.
    EXPECT_TRUE(test::WaitUntil([] { return stalling_ == 0; }, 5000));
    ResetProcessValues();
  }

  static std::string Url(const std::string& Path) { return server_->Url(Path); }

  // The job the start window would run for the process's page, with Links
  // checked, in the progress window.
  static TJobOutcome RunJob(std::vector<TCheckedLink> Links = {}) {
    TSaveRequest request = RequestForProcessPage();
    request.Links = std::move(Links);
    return RunSaveJob(std::move(request));
  }

  // A job for a page the browser window does not describe: no frames.
  static void PageWithoutWindow(const std::string& PageUrl) {
    Process().PageURL = PageUrl;
    Process().BrowserWindow = Variant::Null();
  }
  static void StoreCredentials() {
    Process().Settings.SetUserName("ann");
    Process().Settings.SetPassword("pw");
  }

  // The records of the job log, by address.
  std::map<std::string, TURLEntry> Log() {
    std::map<std::string, TURLEntry> records;
    const std::string data = dest_.Read("lfsta4.log");
    EXPECT_EQ(data.size() % kLogRecordSize, 0u);
    for (std::size_t at = 0; at + kLogRecordSize <= data.size(); at += kLogRecordSize) {
      auto record = DecodeLogRecord(reinterpret_cast<const unsigned char*>(data.data() + at));
      if (record) records[record->EntryURL] = *record;
    }
    return records;
  }
  TURLState StateOf(const std::string& Path) {
    auto log = Log();
    auto it = log.find(Url(Path));
    EXPECT_NE(it, log.end()) << Path;
    return it == log.end() ? TURLState::Queued : it->second.State;
  }

  static void Enter() {
    const int now = ++inFlight_;
    int seen = maxInFlight_;
    while (now > seen && !maxInFlight_.compare_exchange_weak(seen, now)) {}
  }
  static void Leave() { --inFlight_; }

  test::TempDir dest_;
  std::vector<std::string> errors_;
  static inline test::TestServer* server_ = nullptr;
  static inline std::atomic<int> inFlight_{0}, maxInFlight_{0}, stalling_{0};
};

TEST_F(SiteTest, AWholeJobStoresRewritesAndLogs) {
  const auto result = RunJob({{Url("/site/cgi/show"), "show"}, {"mailto:x@y", "mail"}});
  ASSERT_TRUE(result.Ran);
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(BeepsSoFar(), std::vector<unsigned>{MB_ICONINFORMATION_BEEP});
  EXPECT_EQ(maxInFlight_.load(), 5);  // never more than five, and five at times

  const std::string index = dest_.Read("INDEX.HTML");
  EXPECT_EQ(index,
            "<html><head><title>Site</title>\r\n"
            "<style>body { background: url(bg.gif) }</style>\r\n"
            "<script src=\"app.js\"></script></head>\r\n"
            "<body background='back.jpg'>\r\n"
            "<img src=\"a.gif\"><img src='b.jpg'><img src=" + Url("/site/missing.gif") + " alt=x>\r\n"
            "<img src=\"real.gif\"><img src=\"empty.gif\"><img src=\"" + Url("/site/stall.gif") + "\">\r\n"
            "<img src=\"p1.gif\"><img src=\"p2.gif\"><img src=\"p3.gif\"><img src=\"p4.gif\">\r\n"
            "<a href=\"" + Url("/") + "\">home</a><br/><a href=\"http://elsewhere.invalid/\">see /</a>\r\n"
            "<a href=\"show.htm\">show</a><a href=\"f1.html#top\">frame</a>\r\n"
            "</body></html>\r\n");
  EXPECT_EQ(dest_.Read("f1.html"), "<html><img src=\"a.gif\"><a href=\"INDEX.HTML\">up</a></html>\r\n");
  EXPECT_EQ(dest_.Read("show.htm"), "<html><img src=\"a.gif\"></html>\r\n");
  EXPECT_EQ(dest_.Read("a.gif"), "GIF89a/site/pics/a.gif");
  EXPECT_EQ(dest_.Read("real.gif"), "GIF89a/site/pics/real.gif");
  EXPECT_EQ(dest_.Read("b.jpg"), "JPEG");
  EXPECT_EQ(dest_.Read("empty.gif"), "");

  auto log = Log();
  EXPECT_EQ(log.size(), 17u);
  EXPECT_EQ(log[Url("/site/index.html")].LocalName, "INDEX.HTML");
  EXPECT_EQ(log[Url("/site/index.html")].State, TURLState::Done);
  EXPECT_EQ(log[Url("/site/moved.gif")].ActualURL, Url("/site/pics/real.gif"));
  EXPECT_EQ(log[Url("/site/missing.gif")].State, TURLState::Failed);
  EXPECT_EQ(log[Url("/site/missing.gif")].ResponseCode, 404);
  EXPECT_EQ(log[Url("/site/stall.gif")].State, TURLState::Failed);  // skipped after 1 s
  EXPECT_EQ(log[Url("/site/empty.gif")].State, TURLState::Done);
  EXPECT_EQ(log[Url("/site/cgi/show")].Kind, TURLKind::Page);
  EXPECT_EQ(log[Url("/site/pics/b.jpg")].Kind, TURLKind::Picture);
  EXPECT_FALSE(log.count(Url("/")));  // anchors are not followed
  for (const auto& [url, record] : log)
    EXPECT_NE(record.State, TURLState::AwaitingRewrite) << url;
  EXPECT_TRUE(Process().BrowserWindow.IsNull());
  EXPECT_EQ(Process().URLList, nullptr);
}

TEST_F(SiteTest, LinksAsPagesWriteThem) {
  PageWithoutWindow(Url("/site/links.html"));
  ASSERT_TRUE(RunJob().Ran);
  auto log = Log();
  const TURLEntry& php = log[Url("/site/a.php?x=1&y=2")];  // under its real address
  EXPECT_EQ(php.State, TURLState::Done);
  EXPECT_EQ(log[Url("/site/c%20d.gif")].LocalName, "c%20d.gif");
  EXPECT_EQ(dest_.Read("c%20d.gif"), "GIF89a/site/c d.gif");
  EXPECT_EQ(dest_.Read("brk.gif"), "GIF89a/site/brk.gif");
  EXPECT_EQ(dest_.Read("INDEX.HTML"),
            "<html><body>\r\n"
            "<IMG SRC = \"x.gif\"><img src=\"x.gif\">\r\n"
            "<img src=\"a.phpx1%26y2.gif\">\r\n"
            "<img src=\"c%2520d.gif\">\r\n"
            "<img src=\"brk.gif\">\r\n"
            "<a href=\"INDEX.HTML#a%22b\">self</a>\r\n"
            "</body></html>\r\n");
}

TEST_F(SiteTest, OneAtATimeInTableOrderAndAStallThatHoldsItsSlot) {
  Process().Settings.SetMaxThreads(1);
  Process().Settings.SetAutoSkip(false);
  ASSERT_TRUE(RunJob().Ran);
  EXPECT_EQ(maxInFlight_.load(), 1);
  EXPECT_EQ(StateOf("/site/stall.gif"), TURLState::Done);  // waited for
  // The server saw the table's order.
  const std::string data = dest_.Read("lfsta4.log");
  std::vector<std::string> tableOrder;
  for (std::size_t at = 0; at < data.size(); at += kLogRecordSize)
    tableOrder.push_back(
        DecodeLogRecord(reinterpret_cast<const unsigned char*>(data.data() + at))->EntryURL);
  std::vector<std::string> served;
  for (const auto& request : server_->Requests())
    if (request.path != "/site/pics/real.gif") served.push_back(Url(request.path));
  EXPECT_EQ(served, tableOrder);
}

TEST_F(SiteTest, AbortDuringTheDownloads) {
  Process().Settings.SetMaxThreads(1);
  Process().Settings.SetAutoSkip(false);
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (window && FileExists(dest_.File("INDEX.HTML")))
      static_cast<TMainForm*>(window)->btnAbort->click();
  });
  poll.start();
  ASSERT_TRUE(RunJob().Ran);
  EXPECT_EQ(dest_.Read("INDEX.HTML"), kIndex);  // stored, never rewritten
  EXPECT_EQ(StateOf("/site/index.html"), TURLState::AwaitingRewrite);
  auto log = Log();
  std::size_t queued = 0;
  for (const auto& [url, record] : log) queued += record.State == TURLState::Queued;
  EXPECT_GT(queued, 0u);
}

TEST_F(SiteTest, AFileThatCannotBeWrittenAndAPageThatIsNotText) {
  ::mkdir(dest_.File("b.jpg").c_str(), 0755);  // the picture's name is taken by a folder
  Process().PageURL = Url("/site/index.html");
  ASSERT_TRUE(RunJob({{Url("/site/binary"), "pdf"}}).Ran);
  EXPECT_EQ(StateOf("/site/pics/b.jpg"), TURLState::Failed);
  EXPECT_EQ(StateOf("/site/p4.gif"), TURLState::Done);  // the job went on
  EXPECT_EQ(dest_.Read("binary.htm"), std::string("%PDF\0<img src=x.gif>", 20));
  EXPECT_EQ(StateOf("/site/binary"), TURLState::Done);
  EXPECT_FALSE(Log().count(Url("/site/x.gif")));  // not scanned
}

TEST_F(SiteTest, APageThatIsNotHttpGivesAnEmptyJob) {
  PageWithoutWindow("file:///home/ann/page.html");
  ASSERT_TRUE(RunJob().Ran);
  EXPECT_EQ(dest_.Read("lfsta4.log"), "");
  EXPECT_TRUE(QString::fromStdString(ApplicationTitle()).startsWith("100%"));
}

TEST_F(SiteTest, TheWarningFileGoesAfterTheJob) {
  PageWithoutWindow("file:///home/ann/page.html");
  const std::string warning = WarningFilePath(dest_.Path());
  dest_.Write(warning.substr(dest_.Path().size()), "DO NOT OPEN");
  ASSERT_TRUE(RunJob().Ran);
  EXPECT_FALSE(FileExists(warning));
  EXPECT_TRUE(errors_.empty());
  // One that cannot be deleted is reported, and the log is still written.
  ::unlink(dest_.File("lfsta4.log").c_str());
  PageWithoutWindow(Url("/site/f2.html"));
  QTimer swap;
  swap.setInterval(5);
  QObject::connect(&swap, &QTimer::timeout, [&] {
    if (!QApplication::activeModalWidget() || !FileExists(warning)) return;
    ::unlink(warning.c_str());
    ::mkdir(warning.c_str(), 0755);
    swap.stop();
  });
  swap.start();
  ASSERT_TRUE(RunJob().Ran);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find(warning), std::string::npos) << errors_[0];
  EXPECT_TRUE(FileExists(dest_.File("lfsta4.log")));
  ::rmdir(warning.c_str());
  // One that cannot be written: the job does not run, and says why.
  ::mkdir(warning.c_str(), 0755);
  errors_.clear();
  const TJobOutcome outcome = RunJob();
  EXPECT_FALSE(outcome.Ran);
  EXPECT_EQ(outcome.End, TJobEnd::Failed);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find(warning), std::string::npos) << errors_[0];
  ::rmdir(warning.c_str());
}

TEST_F(SiteTest, ProgressTextsAndTitle) {
  TURLListMan list;
  Process().URLList = &list;
  for (int i = 0; i < 8; ++i) list.Add(Url("/e" + std::to_string(i)), "", "", "", TURLKind::Other, TURLState::Queued);
  for (int i = 0; i < 3; ++i) list.SetState(static_cast<std::size_t>(i), TURLState::Done);
  TJobDriver driver;
  TMainForm window(driver);
  window.Driver.BytesReceived = 5000000000ull;
  window.Driver.SpeedText = "12.34 kb/sec";
  window.Driver.UpdateProgress(true);
  EXPECT_EQ(window.lblStatus->text().toStdString(), "3 Saved 8 (38%) files");
  EXPECT_EQ(window.lblSpeed->text().toStdString(), "5000000000 bytes (12.34 kb/sec)");
  EXPECT_TRUE(QString::fromStdString(ApplicationTitle()).startsWith("37% "));
  EXPECT_EQ(JobTitle(3, 8, "T"), "37%  Leafstash: T");
  EXPECT_EQ(JobTitle(0, 0, "T"), "100% Leafstash: T");
  EXPECT_EQ(JobTitle(8, 8, "T"), "99%  Leafstash: T");
  EXPECT_EQ(RoundedPercent(1, 8), 12);   // 12.5 to even
  EXPECT_EQ(RoundedPercent(5, 8), 62);   // 62.5 to even
  EXPECT_EQ(RoundedPercent(7, 8), 88);   // 87.5 to even
  Process().URLList = nullptr;
}

// What Abort leaves behind when it meets the end of the download phase.
TEST_F(SiteTest, AbortBeatsTheQueuedRewriteAndLatePages) {
  TURLListMan list;
  Process().URLList = &list;
  const std::string page = "<html><img src=\"a.gif\"></html>\r\n";
  list.Add(Url("/p.html"), "", "", "", TURLKind::Page, TURLState::AwaitingRewrite);
  list.Add(Url("/a.gif"), Url("/p.html"), "", "", TURLKind::Picture, TURLState::Done);
  list.Add(Url("/late.html"), "", "", "", TURLKind::Page, TURLState::Downloading);
  dest_.Write("p.html", page);
  TJobDriver driver;
  TMainForm window(driver);
  // The end of the phase is already queued when the user clicks Abort.
  QCoreApplication::postEvent(&window.Driver, new QEvent(static_cast<QEvent::Type>(
                                                  TJobDriver::WM_DOWNLOADS_DONE)));
  window.btnAbortClick();
  QCoreApplication::processEvents();
  EXPECT_EQ(dest_.Read("p.html"), page);
  EXPECT_EQ(list.Item(0).State, TURLState::AwaitingRewrite);
  // A page that arrives afterwards is stored, not scanned, and not finished.
  dest_.Write("late.part", "<img src=b.gif>");
  window.Driver.SaveCompleted(2, dest_.File("late.part"));
  EXPECT_EQ(dest_.Read("late.html"), "<img src=b.gif>");
  EXPECT_EQ(list.Item(2).State, TURLState::AwaitingRewrite);
  EXPECT_EQ(list.Count(), 3u);
  Process().URLList = nullptr;
}

TEST(Forms, FragmentsAsWritten) {
  EXPECT_EQ(FragmentAsWritten("q.html#a&quot;b"), "#a&quot;b");
  EXPECT_EQ(FragmentAsWritten("a.php?x=1&#38;y=2#top"), "#top");
  EXPECT_EQ(FragmentAsWritten("q.html#se\r\nc2"), "#sec2");
  EXPECT_EQ(FragmentAsWritten("q.html"), "");
}

TEST(Forms, AsLaidOut) {
  TJobDriver driver;
  TMainForm window(driver);
  EXPECT_EQ(window.Animate1->geometry(), QRect(14, -3, 272, 60));
  // The page and where it goes, cut to fit, and whole in their hints.
  Process().Texts.lblSavingTo = "Saving into %1";
  const std::string title(200, 'T'), dest = "/home/ann/" + std::string(200, 'd') + "/end/";
  window.ShowJob(title, dest);
  for (QLabel* label : {window.lblTitle, window.lblDest})
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
  EXPECT_TRUE(window.lblDest->text().startsWith("Saving into /home/ann/"));
  EXPECT_TRUE(window.lblDest->text().endsWith("/end/"));
  EXPECT_NE(window.lblTitle->toolTip().toStdString().find(title), std::string::npos);
  EXPECT_NE(window.lblDest->toolTip().toStdString().find(dest), std::string::npos);
  window.StartAnimation();
  ASSERT_NE(window.Animate1->movie(), nullptr);
  EXPECT_TRUE(window.Animate1->movie()->isValid());
  EXPECT_EQ(window.Animate1->movie()->frameCount(), 16);
  EXPECT_EQ(window.Animate1->movie()->currentImage().size(), QSize(272, 60));

  TAuthForm form;
  EXPECT_EQ(form.size(), QSize(314, 169));
  EXPECT_EQ(form.windowTitle().toStdString(), "Leafstash - Enter Network Password");
  EXPECT_EQ(form.edUser->geometry().topLeft(), QPoint(80, 65));
  EXPECT_EQ(form.edPass->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(form.btnOk->isDefault());
  const std::string url = "http://example.invalid/" + std::string(300, 'x');
  form.SetUrl(url);
  EXPECT_EQ(form.lblAuthURL->width(), 221);
  EXPECT_EQ(HintText(form.lblAuthURL), url);
  TSharedTexts texts;
  texts.lblAuthTitle = "<b>Log in</b>";
  form.SetTexts(texts);
  // Texts from outside stay text.
  for (QLabel* label : {form.lblAuthTitle, form.lblAuthURL, form.lblAuthUser, form.lblAuthPass})
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
}

// Answers every authentication dialog that opens with Answer.
struct DialogAnswerer {
  explicit DialogAnswerer(std::function<void(TAuthForm*)> Answer) {
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [this, Answer] {
      if (auto* form = dynamic_cast<TAuthForm*>(QApplication::activeModalWidget())) {
        ++shown;
        url = HintText(form->lblAuthURL);
        Answer(form);
      }
    });
    timer.start();
  }
  QTimer timer;
  int shown = 0;
  std::string url;
};

TEST_F(SiteTest, CredentialsStoredAskedAndRefused) {
  PageWithoutWindow(Url("/auth/index.html"));
  StoreCredentials();
  {
    DialogAnswerer never([](TAuthForm* form) { form->btnCancel->click(); });
    ASSERT_TRUE(RunJob().Ran);
    EXPECT_EQ(never.shown, 0);  // stored credentials, no dialog
    EXPECT_EQ(dest_.Read("INDEX.HTML"), "<html>in</html>\r\n");
  }
  Process().Settings.SetPassword("");
  {
    DialogAnswerer ok([](TAuthForm* form) {
      form->btnOk->click();  // empty fields: focus and beep, the dialog stays
      form->edUser->setText("ann");
      form->btnOk->click();
      form->edPass->setText("pw");
      form->btnOk->click();
    });
    ::unlink(dest_.File("lfsta4.log").c_str());
    ::unlink(dest_.File("INDEX.HTML").c_str());
    ASSERT_TRUE(RunJob().Ran);
    EXPECT_EQ(ok.shown, 1);
    EXPECT_EQ(ok.url, Url("/auth/index.html"));
    EXPECT_EQ(StateOf("/auth/index.html"), TURLState::Done);
    EXPECT_EQ(std::count(BeepsSoFar().begin(), BeepsSoFar().end(), MB_OK_BEEP), 2);
  }
  {
    DialogAnswerer cancel([](TAuthForm* form) { form->btnCancel->click(); });
    ::unlink(dest_.File("lfsta4.log").c_str());
    ASSERT_TRUE(RunJob().Ran);
    EXPECT_EQ(cancel.shown, 1);
    EXPECT_EQ(StateOf("/auth/index.html"), TURLState::Failed);
  }
  // Stored credentials the server turns down are not sent again: the user
  // is asked.
  Process().Settings.SetPassword("wrong");
  {
    DialogAnswerer cancel([](TAuthForm* form) { form->btnCancel->click(); });
    ::unlink(dest_.File("lfsta4.log").c_str());
    ASSERT_TRUE(RunJob().Ran);
    EXPECT_EQ(cancel.shown, 1);
    EXPECT_EQ(StateOf("/auth/index.html"), TURLState::Failed);
  }
}

// Two servers ask at once (the loopback site by two names): the second
// question waits for the first dialog, and the other downloads go on.
TEST_F(SiteTest, QuestionsAreAskedOneAtATimeWhileTheOtherDownloadsGoOn) {
  PageWithoutWindow("http://localhost:1/page.html");
  Process().Settings.SetAutoSkip(false);
  int most = 0, answered = 0, waited = 0;
  std::vector<std::string> asked;
  std::optional<TURLState> otherWhenFirstAnswered;
  QTimer answer;
  answer.setInterval(20);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* form = dynamic_cast<TAuthForm*>(QApplication::activeModalWidget());
    if (!form) return;
    int open = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
      open += widget->isVisible() && dynamic_cast<TAuthForm*>(widget) != nullptr;
    most = std::max(most, open);
    // The first answer waits until the plain download is in.
    const auto other = Process().URLList->FindByURL(Url("/site/pics/a.gif"));
    const bool otherDone = other && Process().URLList->Item(*other).State == TURLState::Done;
    if (answered == 0 && !otherDone && ++waited < 150) return;
    if (answered == 0 && other) otherWhenFirstAnswered = Process().URLList->Item(*other).State;
    asked.push_back(HintText(form->lblAuthURL));
    form->edUser->setText("ann");
    form->edPass->setText("pw");
    form->btnOk->click();
    ++answered;
  });
  answer.start();
  const std::string other = "http://localhost:" + std::to_string(server_->Port());
  ASSERT_TRUE(RunJob({{Url("/auth/index.html?a"), ""},
                      {other + "/auth/index.html?b", ""},
                      {Url("/site/pics/a.gif"), ""}})
                  .Ran);
  EXPECT_EQ(most, 1);  // never two dialogs
  EXPECT_EQ(answered, 2);
  EXPECT_EQ(otherWhenFirstAnswered, TURLState::Done);
  std::sort(asked.begin(), asked.end());  // whichever server asked first
  EXPECT_EQ(asked, (std::vector<std::string>{Url("/auth/index.html?a"),
                                             other + "/auth/index.html?b"}));
  EXPECT_EQ(StateOf("/auth/index.html?a"), TURLState::Done);
  EXPECT_EQ(Log()[other + "/auth/index.html?b"].State, TURLState::Done);
  EXPECT_EQ(StateOf("/site/pics/a.gif"), TURLState::Done);
}

// Abort while a question is open: the dialog goes with the job.
TEST_F(SiteTest, AbortWhileAQuestionIsOpen) {
  PageWithoutWindow("http://localhost:1/page.html");
  QTimer poll;
  poll.setInterval(20);
  bool sawDialog = false;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!dynamic_cast<TAuthForm*>(QApplication::activeModalWidget())) return;
    sawDialog = true;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* window = dynamic_cast<TMainForm*>(widget)) window->btnAbortClick();
  });
  poll.start();
  const TJobOutcome outcome = RunJob({{Url("/auth/index.html?c"), ""}});
  EXPECT_TRUE(sawDialog);
  EXPECT_EQ(outcome.End, TJobEnd::Aborted);
  for (QWidget* widget : QApplication::topLevelWidgets())
    EXPECT_FALSE(widget->isVisible() && dynamic_cast<TAuthForm*>(widget)) << "a dialog is left";
}

TEST_F(SiteTest, StoredCredentialsStayWithThePagesServer) {
  // The page is elsewhere: the site that asks gets the dialog, not the
  // stored credentials.
  PageWithoutWindow("http://localhost:1/page.html");
  StoreCredentials();
  DialogAnswerer cancel([](TAuthForm* form) { form->btnCancel->click(); });
  ASSERT_TRUE(RunJob({{Url("/auth/index.html"), ""}}).Ran);
  EXPECT_EQ(cancel.shown, 1);
  EXPECT_EQ(StateOf("/auth/index.html"), TURLState::Failed);
}

TEST_F(SiteTest, TheDialogNamesTheServerThatAsks) {
  // The page's own server redirects to another host, which asks.
  PageWithoutWindow(Url("/site/index.html"));
  StoreCredentials();
  DialogAnswerer cancel([](TAuthForm* form) { form->btnCancel->click(); });
  ASSERT_TRUE(RunJob({{Url("/site/to-auth"), ""}}).Ran);
  EXPECT_EQ(cancel.shown, 1);  // not the stored credentials: another server
  EXPECT_EQ(cancel.url, "http://localhost:" + std::to_string(server_->Port()) + "/auth/index.html");
}

}  // namespace
}  // namespace leafstash
