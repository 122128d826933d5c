// The Start button: refusals that leave the window to correct, and the
// whole road from Start(WB) to a saved folder and the end of the process.
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "engine/url_entry.h"
#include "gui/links_view.h"
#include "gui/refusal_note.h"
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

TEST_F(StartJobTest, EachRefusalSaysWhyNextToItsControlAndLeavesTheWindowThere) {
  StartOnPage("Title");
  TStartForm& form = Form();
  const auto press = [&](QLineEdit* Edit, const std::string& Text) {
    Edit->setText(QString::fromStdString(Text));
    form.btnStart->click();
  };
  const auto refused = [&](QWidget* Control, const std::string& Why) {
    EXPECT_EQ(form.focusWidget(), Control);
    EXPECT_EQ(form.RefusalNote->Control(), Control);
    EXPECT_EQ(form.RefusalNote->text().toStdString(), Why);
  };
  press(form.edFolder, "");
  refused(form.edFolder, "Choose the folder to save into.");
  press(form.edFolder, "relative/folder");
  refused(form.edFolder, "Give the folder's full path, beginning with /.");
  dest_.Write("a file", "x");
  press(form.edFolder, dest_.File("a file"));
  refused(form.edFolder, dest_.File("a file") + " is a file, not a folder.");

  // A folder that is not there is offered; No leaves it not there.
  const std::string missing = dest_.File("new/deeper");
  std::string question;
  {
    auto answer = test::AnswerBox(QMessageBox::No, &question);
    press(form.edFolder, missing);
  }
  EXPECT_EQ(question, "The folder " + missing + " does not exist. Create it?");
  refused(form.edFolder, "The folder " + missing + " does not exist.");
  EXPECT_FALSE(Exists(dest_.File("new")));
  // Typing into the folder box takes the note away.
  QTest::keyClick(form.edFolder, Qt::Key_Backspace);
  EXPECT_EQ(form.RefusalNote->Control(), nullptr);

  form.edFolder->setText(QString::fromStdString(dest_.Path()));
  form.chbSubFld->click();
  press(form.edSubFolder, "");
  refused(form.edSubFolder,
          "Give the subfolder a name, or clear the check box to save into the folder itself.");
  // Doing what it says takes the note away.
  form.chbSubFld->click();
  EXPECT_EQ(form.RefusalNote->Control(), nullptr);
  form.chbSubFld->click();
  // A file where the subfolder should be: it cannot be made.
  dest_.Write("Title", "a file");
  press(form.edSubFolder, "Title");
  EXPECT_EQ(form.RefusalNote->text().toStdString(),
            "The folder " + dest_.File("Title/") + " cannot be created: File exists");

  // In the window's language.
  form.cmbLang->setEditText("German");
  form.cmbLangChange();
  press(form.edFolder, "");
  refused(form.edFolder, "Wählen Sie den Ordner, in den gespeichert werden soll.");

  EXPECT_EQ(BeepsSoFar(), (std::vector<unsigned>(7, MB_OK_BEEP)));
  EXPECT_TRUE(form.isVisible());
  EXPECT_NE(AppObject(), nullptr);
  EXPECT_FALSE(Exists(dest_.File("INDEX.HTML")));
}

TEST_F(StartJobTest, AMissingFolderIsMadeWithItsParentsWhenTheUserSaysYes) {
  StartOnPage("T");
  TStartForm& form = Form();
  const std::string missing = dest_.File("new/deeper");
  auto answer = test::AnswerBox(QMessageBox::Yes);
  form.edFolder->setText(QString::fromStdString(missing));
  form.btnStart->click();
  EXPECT_TRUE(Exists(missing + "/INDEX.HTML"));
  EXPECT_FALSE(form.isVisible());
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
