// The end of a job on the desktop: the notification the job sends over the
// session bus, what its actions open, and the process staying for them and
// no longer. Runs under a session bus of its own (dbus-run-session) with
// the tests' notification service; without one it is skipped.
#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "gui/links_view.h"
#include "gui/main_form.h"
#include "opened_urls.h"
#include "start_form_fixture.h"
#include "suite_server.h"

namespace leafstash {
namespace {

using nlohmann::json;

class JobEndTest : public test::SuiteWithServer<JobEndTest>, public test::StartFormFixture {
 public:
  static void Route(httplib::Server& s) {
    s.Get("/p/index.html", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("<html><p>the page</p></html>", "text/html");
    });
    s.Get("/p/two.html", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("<html>two</html>", "text/html");
    });
    s.Get("/p/slow.html", [](const httplib::Request&, httplib::Response& r) {
      std::this_thread::sleep_for(std::chrono::seconds(2));
      r.set_content("<html>slow</html>", "text/html");
    });
  }

 protected:
  void SetUp() override {
    if (!std::getenv("LEAFSTASH_TEST_BUS")) GTEST_SKIP() << "runs under dbus-run-session";
    QDesktopServices::setUrlHandler("file", &opened_, "Open");
  }
  void TearDown() override {
    QDesktopServices::unsetUrlHandler("file");
    service_.kill();
    service_.waitForFinished();
    form_.reset();
  }
  // Starts the notification service, answering with Answer.
  void StartService(const QString& Answer, const QString& Capabilities = "actions,body") {
    service_.start(std::getenv("LEAFSTASH_NOTIFICATION_SERVER"),
                   {QString::fromStdString(record_.File("record")), Answer, Capabilities});
    ASSERT_TRUE(service_.waitForReadyRead(10000));
    ASSERT_EQ(service_.readLine().trimmed(), "ready");
  }
  // Saves the page titled "Garden" with the links Links checked, as the
  // window does after the browser has let go; OnProgress sees the progress
  // window. True once the process was told to end.
  bool Save(const std::vector<std::string>& Links,
            std::function<void(TMainForm*)> OnProgress = nullptr) {
    Shown();
    json links = json::array();
    for (const std::string& link : Links) links.push_back({{"href", Url(link)}, {"innerText", link}});
    const json page = {{"url", Url("/p/index.html")}, {"title", "Garden"},
                       {"documentUrl", Url("/p/index.html")}, {"selectionHtml", ""}, {"links", links}};
    TLSApp* app = TLSApp::Create();
    EXPECT_EQ(app->Start(Window(page.dump())), S_OK);
    WatchTheEnd();
    app->Release();
    TStartForm& form = Form();
    form.btnAllClick();
    form.edFolder->setText(QString::fromStdString(Folder()));
    auto watch = test::WhenModal([OnProgress](QWidget* Modal) {
      if (auto* progress = dynamic_cast<TMainForm*>(Modal); progress && OnProgress) OnProgress(progress);
    });
    form.btnStart->click();
    return QTest::qWaitFor([this] { return ended_; }, 10000);
  }
  json Notification() {
    QFile file(QString::fromStdString(record_.File("record")));
    if (!file.open(QIODevice::ReadOnly)) return json();
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    EXPECT_EQ(lines.size(), 1);
    return json::parse(lines.back().toStdString());
  }
  std::string Folder() const { return folder_.empty() ? dest_.Path() : folder_; }

  test::TOpenedUrls opened_;
  QProcess service_;
  test::TempDir record_, dest_;
  std::string folder_;  // where the job saves, when not dest_ itself
};

TEST_F(JobEndTest, ASavedJobSaysWhatAndWhereAndOpensTheFolder) {
  StartService("open-folder");
  ASSERT_TRUE(Save({"/p/two.html"}));
  const json shown = Notification();
  EXPECT_EQ(shown["app"], "Leafstash");
  EXPECT_EQ(shown["desktopEntry"], "leafstash");
  EXPECT_EQ(shown["summary"], "Saved: Garden");
  EXPECT_EQ(shown["body"], "Files saved: 2, failed: 0, in " + Folder());
  EXPECT_EQ(shown["actions"], json({"default", "Open the page", "open-page", "Open the page",
                                    "open-folder", "Open the folder"}));
  EXPECT_EQ(opened_.Urls, std::vector<std::string>{QUrl::fromLocalFile(QString::fromStdString(Folder()))
                                                       .toString()
                                                       .toStdString()});
}

TEST_F(JobEndTest, APartlySavedJobCountsWhatFailedAndAClickOpensThePage) {
  // A service that reads markup gets the folder's "&" and "<" as text.
  StartService("default", "actions,body,body-markup");
  folder_ = dest_.File("Tom & <Jerry>/");
  std::filesystem::create_directory(folder_);
  ASSERT_TRUE(Save({"/p/two.html", "/p/gone.html"}));
  const json shown = Notification();
  EXPECT_EQ(shown["summary"], "Partly saved: Garden");
  EXPECT_EQ(shown["body"], "Files saved: 2, failed: 1, in " + dest_.Path() + "Tom &amp; &lt;Jerry&gt;/");
  ASSERT_EQ(opened_.Urls.size(), 1u);
  EXPECT_EQ(opened_.Urls[0],
            QUrl::fromLocalFile(QString::fromStdString(folder_ + "INDEX.HTML")).toString().toStdString());
}

TEST_F(JobEndTest, AnAbortedJobSaysSoAndAServiceWithoutActionsIsNotWaitedOn) {
  // The service never answers: the process ends all the same, since a
  // notification without actions has nothing to wait for.
  StartService("none", "body");
  ASSERT_TRUE(Save({"/p/slow.html"}, [](TMainForm* Progress) {
    QTimer::singleShot(300, Progress->btnAbort, &QPushButton::click);
  }));
  const json shown = Notification();
  EXPECT_EQ(shown["summary"], "Aborted: Garden");
  EXPECT_EQ(shown["actions"], json::array());
  EXPECT_TRUE(opened_.Urls.empty());
}

TEST_F(JobEndTest, WithNoNotificationServiceTheProcessStillEnds) {
  ASSERT_TRUE(Save({}));
  EXPECT_TRUE(opened_.Urls.empty());
}

}  // namespace
}  // namespace leafstash

