// The start window: its pages and their lock, the About page's links, the
// options it loads and stores, the language it applies, and closing it.
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "core/settings.h"
#include "opened_urls.h"
#include "start_form_fixture.h"
#include "gui/links_view.h"
#include "gui/refusal_note.h"
#include "gui/up_down.h"

namespace leafstash {
namespace {

const char* const kEmptyPage =
    "{\"url\":\"http://h.test/\",\"title\":\"T\",\"documentUrl\":\"http://h.test/\","
    "\"selectionHtml\":\"\",\"links\":[]}";

class StartFormTest : public ::testing::Test, public test::StartFormFixture {
 protected:
  void ClickTab(TStartForm& Form, int Index) {
    QTabBar* bar = Form.PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(Index).center());
  }
  void WriteSettings(const TSettings& Settings) {
    ASSERT_TRUE(SaveSettingsFile(Process().SettingsFile, Settings));
  }
};

TEST_F(StartFormTest, OpensOnAboutAndTheOtherPagesWaitForAPage) {
  TStartForm& form = Shown();
  EXPECT_EQ(form.windowTitle(), "Leafstash");
  EXPECT_EQ(form.PageControl1->currentWidget(), form.tshAbout);
  EXPECT_EQ(form.lblVersion->text(), "Version 4.0");
  EXPECT_EQ(form.btnStart->text(), "Start");
  EXPECT_FALSE(form.chbOptDef->isVisible());
  EXPECT_GE(form.width(), 580);
  EXPECT_GE(form.height(), 441);

  // The locked pages look locked, and a click on one says why.
  EXPECT_FALSE(form.PageControl1->isTabEnabled(0));
  EXPECT_FALSE(form.PageControl1->isTabEnabled(1));
  ClickTab(form, 0);
  ClickTab(form, 1);
  EXPECT_EQ(form.PageControl1->currentWidget(), form.tshAbout);
  EXPECT_EQ(BeepsSoFar(), (std::vector<unsigned>{MB_ICONWARNING_BEEP, MB_ICONWARNING_BEEP}));
  EXPECT_TRUE(form.RefusalNote->isVisible());
  EXPECT_EQ(form.RefusalNote->text().toStdString(),
            "Open the page in your browser and choose \"Save page with Leafstash\" from its menu: "
            "its links then appear here.");

  // With a page handed over, every page can be chosen; the save-as-default
  // box shows on the General and Advanced pages only.
  TLSApp* app = TLSApp::Create();
  ASSERT_EQ(app->Start(Window(kEmptyPage)),
            S_OK);
  EXPECT_EQ(form.PageControl1->currentWidget(), form.tshGeneral);
  EXPECT_TRUE(form.PageControl1->isTabEnabled(0));
  EXPECT_TRUE(form.PageControl1->isTabEnabled(1));
  EXPECT_TRUE(form.chbOptDef->isVisible());
  ClickTab(form, 2);
  EXPECT_FALSE(form.chbOptDef->isVisible());
  ClickTab(form, 1);
  EXPECT_EQ(form.PageControl1->currentWidget(), form.tshAdvanced);
  EXPECT_TRUE(form.chbOptDef->isVisible());
  EXPECT_EQ(BeepsSoFar().size(), 2u);
  form_.reset();
  app->Release();
}

TEST_F(StartFormTest, TheAboutLinksOpenOnlyWebAndMailAddresses) {
  test::TOpenedUrls opened;
  for (const char* scheme : {"http", "https", "mailto", "file"})
    QDesktopServices::setUrlHandler(scheme, &opened, "Open");
  TStartForm& form = Shown();
  ASSERT_FALSE(Process().SiteURL.empty());
  QTest::mouseClick(form.Label5, Qt::LeftButton);
  QTest::mouseClick(form.Label7, Qt::LeftButton);
  Process().SiteURL = "file:///etc/passwd";
  QTest::mouseClick(form.Label5, Qt::LeftButton);
  for (const char* scheme : {"http", "https", "mailto", "file"})
    QDesktopServices::unsetUrlHandler(scheme);
  ASSERT_EQ(opened.Urls.size(), 2u);
  EXPECT_EQ(opened.Urls[0], "http://leafstash.example/");
  EXPECT_EQ(opened.Urls[1].rfind("mailto:", 0), 0u);
}

TEST_F(StartFormTest, StoredOptionsFillTheControls) {
  TSettings stored;
  stored.SetFolder("/srv/pages");
  stored.SetUseSubFolder(true);
  stored.SetSavePictures(true);
  stored.SetAutoSkip(false);  // with no seconds stored, auto-skip is on
  stored.SetMaxThreads(7);
  stored.SetCheckIntervalDays(12);
  stored.SetCheckVersion(false);
  stored.SetUseURLFilter(true);
  stored.SetUserName("ann");
  stored.SetLanguage("Russian");
  stored.SetWindowWidth(700);
  TSettings::Bytes image = stored.Image();
  image[194] = 255;  // a length beyond the filter's 200 characters
  for (int i = 195; i < 395; ++i) image[i] = 'w';
  image[0] = 0x5A;  // reserved bytes are kept as read
  stored.SetImage(image);
  WriteSettings(stored);

  // Before a page arrives the pages are locked: their controls are
  // enabled as the options say once the lock goes.
  TStartForm& form = Shown();
  EXPECT_EQ(form.edFolder->text(), "/srv/pages");
  EXPECT_TRUE(form.chbSubFld->isChecked());
  EXPECT_TRUE(form.edSubFolder->isEnabledTo(form.tshGeneral));
  EXPECT_TRUE(form.chbImg->isChecked());
  EXPECT_TRUE(form.chbAutoSkip->isChecked());
  EXPECT_TRUE(form.edSec->isEnabledTo(form.tshAdvanced));
  EXPECT_EQ(form.edSec->text(), "60");
  EXPECT_EQ(form.edThread->text(), "7");
  EXPECT_FALSE(form.chbNewVer->isChecked());
  EXPECT_FALSE(form.edNewVer->isEnabledTo(form.tshAdvanced));
  EXPECT_EQ(form.edNewVer->text(), "12");
  EXPECT_TRUE(form.edURL->isEnabledTo(form.tshAdvanced));
  EXPECT_EQ(form.edURL->text().size(), 200);
  EXPECT_EQ(form.edUserS->text(), "ann");
  EXPECT_EQ(form.width(), 700);
  EXPECT_EQ(form.cmbLang->currentText(), "Russian");
  EXPECT_EQ(form.btnStart->text(), QString::fromUtf8("Начать"));
  EXPECT_EQ(Process().SiteURL, "http://leafstash.example/ru/");
  EXPECT_NE(form.cmbLang->findText("English"), -1);

  // Exit without "save as default" leaves the file alone; with it, the
  // whole record is written, reserved bytes as they were read.
  const auto before = std::filesystem::last_write_time(Process().SettingsFile);
  form.btnExitClick();
  EXPECT_EQ(std::filesystem::last_write_time(Process().SettingsFile), before);
  form.chbOptDef->setChecked(true);
  form.edFolder->setText("  /srv/other  ");
  for (int i = 0; i < 3; ++i) form.udThread->StepUp();
  form.btnExitClick();
  TSettings saved;
  LoadSettingsFile(Process().SettingsFile, saved);
  EXPECT_EQ(std::filesystem::file_size(Process().SettingsFile), TSettings::kSize);
  EXPECT_EQ(saved.Folder(), "/srv/other");
  EXPECT_EQ(saved.MaxThreads(), 10);
  EXPECT_EQ(saved.SkipSeconds(), 60);
  EXPECT_TRUE(saved.AutoSkip());
  EXPECT_EQ(saved.Image()[0], 0x5A);
  EXPECT_EQ(saved.LinkColumnWidth(), 200);
}

TEST_F(StartFormTest, AShortOrMissingSettingsFileGivesTheDefaults) {
  std::string shortFile(TSettings::kSize - 1, '\x01');
  test::TempDir dir;
  dir.Write("lfsta.cfg", shortFile);
  Process().SettingsFile = dir.File("lfsta.cfg");
  TStartForm& form = Shown();
  EXPECT_TRUE(form.chbAutoSkip->isChecked());
  EXPECT_EQ(form.edSec->text(), "60");
  EXPECT_EQ(form.edThread->text(), "5");
  EXPECT_TRUE(form.chbNewVer->isChecked());
  EXPECT_EQ(form.edNewVer->text(), "30");
  EXPECT_FALSE(form.chbImg->isChecked());
  EXPECT_EQ(form.cmbLang->currentText(), "English");
  // The arrows stop at the ends of their range.
  for (int i = 0; i < 120; ++i) form.udThread->StepUp();
  EXPECT_EQ(form.edThread->text(), "100");
  form.chbAutoSkip->click();
  EXPECT_FALSE(form.edSec->isEnabled());
  EXPECT_FALSE(form.udSec->isEnabled());
}

TEST_F(StartFormTest, TheLanguageBoxChoosesTheFileAndItsLayout) {
  test::TempDir lang;
  std::filesystem::copy_file(LEAFSTASH_LANG_DIR "/English.lng", lang.File("English.lng"));
  lang.Write("English.hlp", "<html></html>");
  lang.Write("Tiny.lng",
             "btnStart =blank before the sign\r\nbtnExit=a=b\r\nBTNEXIT=second\r\n"
             "chbAutoSkip=Skip a stalled download after\r\nLfStaSiteEng=http://tiny.test/\r\n");
  lang.Write("Tiny.hlp", "<html></html>");
  Process().LangDir = lang.Path();
  TStartForm& form = Shown();
  EXPECT_EQ(form.HelpFile, lang.File("English.hlp"));
  std::vector<std::string> names;
  for (int i = 0; i < form.cmbLang->count(); ++i) names.push_back(form.cmbLang->itemText(i).toStdString());
  EXPECT_EQ(names, (std::vector<std::string>{"English", "Tiny"}));

  form.cmbLang->setCurrentIndex(1);
  form.cmbLang->textActivated(form.cmbLang->currentText());
  EXPECT_EQ(form.btnStart->text(), "");
  EXPECT_EQ(form.btnExit->text(), "a=b");
  EXPECT_EQ(Process().SiteURL, "http://tiny.test/");
  EXPECT_EQ(form.HelpFile, lang.File("Tiny.hlp"));
  // The number box follows its caption, its unit clear of the arrows.
  EXPECT_EQ(form.chbAutoSkip->width(), form.chbAutoSkip->sizeHint().width());
  EXPECT_EQ(form.edSec->x(), form.chbAutoSkip->x() + form.chbAutoSkip->width() + 4);
  EXPECT_EQ(form.lblSec->x(), form.udSec->x() + form.udSec->width() + 4);

  // Names that are no file of the folder, or lead out of it.
  for (const std::string& name : {std::string("Missing"), std::string("../English"),
                                  std::string(".hidden"), std::string("a\\b")}) {
    std::string text, caption;
    auto answer = test::AnswerBox(QMessageBox::Ok, &text, &caption);
    form.cmbLang->setEditText(QString::fromStdString(name));
    form.cmbLangChange();
    EXPECT_EQ(text, "Cannot open file " + lang.Path() + name + ".lng");
    EXPECT_EQ(caption, "Leafstash");
    EXPECT_EQ(form.btnExit->text(), "a=b");
    EXPECT_EQ(Process().SiteURL, "http://tiny.test/");
  }
}

TEST_F(StartFormTest, ClosingWhileTheBrowserHoldsTheObjectAsksFirst) {
  TStartForm& form = Shown();
  TLSApp* app = TLSApp::Create();
  ASSERT_EQ(app->Start(Window(kEmptyPage)),
            S_OK);
  std::string text, caption;
  auto answer = test::AnswerBox(QMessageBox::No, &text, &caption);
  form.close();
  EXPECT_EQ(caption, "COM Server Warning");
  EXPECT_EQ(text,
            "There are still active COM objects in this application.  One or more clients may "
            "have references to these objects, so manually closing this application may cause "
            "those client application(s) to fail.\r\n\r\nAre you sure you want to close this "
            "application?");
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(AppObject(), app);

  answer = test::AnswerBox(QMessageBox::Yes);
  form.close();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(AppObject(), nullptr);
  EXPECT_TRUE(Process().BrowserWindow.IsNull());
  EXPECT_EQ(ComServer().References, 1);  // the browser's own

  WatchTheEnd();
  app->Release();
  EXPECT_TRUE(ended_);
}

TEST_F(StartFormTest, EnterOnTheGeneralPagePressesStartOrTheButtonWithTheFocus) {
  TStartForm& form = Shown();
  TLSApp* app = TLSApp::Create();
  ASSERT_EQ(app->Start(Window("{\"url\":\"http://h.test/\",\"title\":\"T\",\"documentUrl\":"
                              "\"http://h.test/\",\"selectionHtml\":\"\",\"links\":"
                              "[{\"href\":\"http://h.test/a\",\"innerText\":\"a\"}]}")),
            S_OK);
  form.edFolder->setText("");
  form.edFolder->setFocus();
  QTest::keyClick(form.edFolder, Qt::Key_Return);
  EXPECT_EQ(form.RefusalNote->Control(), form.edFolder);  // Start was pressed, and refused
  form.RefusalNote->hide();
  form.btnAll->setFocus();
  QTest::keyClick(form.btnAll, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_TRUE(TLinksView::IsChecked(form.LinksView->Rows().at(0)));
  EXPECT_EQ(form.RefusalNote->Control(), nullptr);
  form_.reset();
  app->Release();
}

TEST_F(StartFormTest, WithoutClientsTheWindowClosesWithoutAsking) {
  TStartForm& form = Shown();
  bool asked = false;
  auto answer = test::WhenModal([&](QWidget* modal) {
    asked = true;
    modal->close();
  });
  form.close();
  QTest::qWait(100);
  EXPECT_FALSE(asked);
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
}  // namespace leafstash

