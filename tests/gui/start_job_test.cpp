// The Start button: refusals that leave the window to correct, and the
// whole road from Start(WB) to a saved folder and the end of the process.
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "engine/url_entry.h"
#include "gui/links_view.h"
#include "start_form_fixture.h"
#include "suite_server.h"

namespace leafstash {
namespace {

using httplib::Request;
using httplib::Response;
using nlohmann::json;

class StartJobTest : public test::SuiteWithServer<StartJobTest>, public test::StartFormFixture {
 public:
  static void Route(httplib::Server& s) {
    s.Get("/p/index.html", [](const Request&, Response& r) {
      r.set_content("<html><img src=\"a.gif\"><a href=\"two.html\">two</a>"
                    "<a href=\"three.html\">three</a></html>",
                    "text/html");
    });
    s.Get("/p/frame.html", [](const Request&, Response& r) {
      r.set_content("<html>frame</html>", "text/html");
    });
    for (const char* page : {"/p/two.html", "/p/three.html"})
      s.Get(page, [](const Request& q, Response& r) { r.set_content("<html>" + q.path + "</html>", "text/html"); });
    s.Get("/p/a.gif", [](const Request&, Response& r) { r.set_content("GIF89a", "image/gif"); });
  }

 protected:
  void TearDown() override {
    form_.reset();
    if (app_) app_->Release();
  }
  // Starts the window on the test site's page as the browser would.
  void StartOnPage(const std::string& Title) {
    Shown();
    json snapshot = {{"url", Url("/p/index.html")},
                     {"title", Title},
                     {"documentUrl", Url("/p/index.html")},
                     {"selectionHtml", "<a href=\"three.html\">three</a>"},
                     {"links", json::array({json{{"href", Url("/p/two.html")}, {"innerText", "two"}},
                                            json{{"href", Url("/p/three.html")}, {"innerText", "three"}}})},
                     {"frames", json::array({json{{"location", Url("/p/frame.html")}, {"title", "F"}}})}};
    app_ = TLSApp::Create();
    ASSERT_EQ(app_->Start(Window(snapshot.dump())), S_OK);
  }
  bool Exists(const std::string& Path) { return std::filesystem::exists(Path); }

  test::TempDir dest_;
  TLSApp* app_ = nullptr;
};

TEST_F(StartJobTest, PressingStartSavesThePageAndTheProcessEnds) {
  StartOnPage("Field: notes");
  TStartForm& form = Form();
  WatchTheEnd();
  form.edFolder->setText(QString::fromStdString(dest_.Path().substr(0, dest_.Path().size() - 1)));
  form.chbSubFld->click();
  form.chbImg->click();
  form.btnAllClick();
  form.btnStart->click();  // returns when the job is over

  const std::string folder = dest_.File("Field notes/");
  EXPECT_EQ(Process().DestPath, folder);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(dest_.Read("Field notes/Field notes.URL"),
            "[InternetShortcut]\r\nURL=" + Url("/p/index.html") + "\r\n");
  for (const char* name : {"INDEX.HTML", "a.gif", "two.html", "three.html", "frame.html", "lfsta4.log"})
    EXPECT_TRUE(Exists(folder + name)) << folder + name;
  EXPECT_FALSE(Exists(folder + "! DO NOT OPEN ANY FILE WHILE LEAFSTASH IS RUNNING !"));
  EXPECT_EQ(BeepsSoFar().back(), MB_ICONINFORMATION_BEEP);
  EXPECT_FALSE(Exists(Process().SettingsFile));  // not asked to save the options
  EXPECT_EQ(AppObject(), nullptr);
  EXPECT_TRUE(Process().BrowserWindow.IsNull());
  EXPECT_FALSE(ended_);  // the browser still holds its reference
  app_->Release();
  app_ = nullptr;
  EXPECT_TRUE(ended_);
}

TEST_F(StartJobTest, RowsAreQueuedInTheOrderShown) {
  StartOnPage("T");
  TStartForm& form = Form();
  form.edFolder->setText(QString::fromStdString(dest_.Path()));
  form.btnAllClick();
  form.LinksView->LinksViewColumnClick(3);  // "three" before "two"
  form.btnStart->click();
  std::vector<std::string> order;
  const std::string log = dest_.Read("lfsta4.log");
  for (std::size_t at = 0; at + kLogRecordSize <= log.size(); at += kLogRecordSize)
    if (auto record = DecodeLogRecord(reinterpret_cast<const unsigned char*>(log.data() + at)))
      order.push_back(record->EntryURL);
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(order[0], Url("/p/index.html"));
  EXPECT_EQ(order[1], Url("/p/frame.html"));
  EXPECT_EQ(order[2], Url("/p/three.html"));
  EXPECT_EQ(order[3], Url("/p/two.html"));
  // Without the subfolder option the shortcut is named after the title;
  // pictures are off unless asked for.
  EXPECT_TRUE(Exists(dest_.File("T.URL")));
  EXPECT_FALSE(Exists(dest_.File("a.gif")));
}

TEST_F(StartJobTest, WhatCannotBeSavedIntoIsRefusedWithTheWindowStillThere) {
  StartOnPage("Title");
  TStartForm& form = Form();
  form.edFolder->setText("");
  form.btnStart->click();
  EXPECT_EQ(form.focusWidget(), form.edFolder);
  form.edFolder->setText(QString::fromStdString(dest_.File("nowhere")));
  form.btnStart->click();

  form.edFolder->setText(QString::fromStdString(dest_.Path()));
  form.chbSubFld->click();
  form.edSubFolder->setText("");
  form.btnStart->click();
  EXPECT_EQ(form.focusWidget(), form.edSubFolder);

  // A file where the subfolder should be: it cannot be made.
  dest_.Write("Title", "a file");
  form.edSubFolder->setText("Title");
  form.btnStart->click();
  EXPECT_EQ(form.focusWidget(), form.edSubFolder);

  EXPECT_EQ(BeepsSoFar(), (std::vector<unsigned>(4, MB_OK_BEEP)));
  EXPECT_TRUE(form.isVisible());
  EXPECT_NE(AppObject(), nullptr);
  EXPECT_FALSE(Exists(dest_.File("INDEX.HTML")));
}

TEST_F(StartJobTest, AShortcutThatCannotBeWrittenIsReportedAndTheProcessStillEnds) {
  StartOnPage("Blocked");
  TStartForm& form = Form();
  WatchTheEnd();
  app_->Release();  // the browser let go early
  app_ = nullptr;
  std::filesystem::create_directory(dest_.File("Blocked.URL"));
  std::string text;
  auto answer = test::AnswerBox(QMessageBox::Ok, &text);
  form.edFolder->setText(QString::fromStdString(dest_.Path()));
  form.btnStart->click();
  EXPECT_NE(text.find("Blocked.URL"), std::string::npos) << text;
  EXPECT_FALSE(Exists(dest_.File("INDEX.HTML")));
  EXPECT_FALSE(Exists(dest_.File("! DO NOT OPEN ANY FILE WHILE LEAFSTASH IS RUNNING !")));
  EXPECT_EQ(AppObject(), nullptr);
  EXPECT_TRUE(ended_);
}

}  // namespace
}  // namespace leafstash
