// The language packs: every language file has every key the window asks
// for, and Help opens the language's help file at the active page.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <set>

#include "gui/help_window.h"
#include "gui/refusal_note.h"
#include "core/language.h"
#include "gui/links_view.h"
#include "core/settings.h"
#include "start_form_fixture.h"

namespace leafstash {
namespace {

const char* const kEmptyPage =
    "{\"url\":\"http://h.test/\",\"title\":\"T\",\"documentUrl\":\"http://h.test/\","
    "\"selectionHtml\":\"\",\"links\":[]}";

std::string ReadAll(const std::filesystem::path& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class LanguagePackTest : public ::testing::Test, public test::StartFormFixture {
 protected:
  void TearDown() override {
    form_.reset();
    if (app_) app_->Release();
  }
  // Shows the window with a page handed over, so every page can be chosen.
  TStartForm& WithPage() {
    TStartForm& form = Shown();
    app_ = TLSApp::Create();
    EXPECT_EQ(app_->Start(Window(kEmptyPage)), S_OK);
    return form;
  }
  void ChooseLanguage(TStartForm& Form, const std::string& Name) {
    Form.cmbLang->setEditText(QString::fromStdString(Name));
    Form.cmbLangChange();
  }
  TLSApp* app_ = nullptr;
};

TEST_F(LanguagePackTest, EveryLanguageFileHasEveryKeyAndNoOther) {
  const std::set<std::string_view> known(kLanguageKeys.begin(), kLanguageKeys.end());
  int files = 0;
  for (const auto& item : std::filesystem::directory_iterator(LEAFSTASH_LANG_DIR)) {
    if (item.path().extension() != ".lng") continue;
    ++files;
    const std::string text = ReadAll(item.path());
    const TLanguageFile file = TLanguageFile::FromText(text);
    for (std::string_view key : kLanguageKeys)
      EXPECT_FALSE(file.Value(key).empty()) << item.path() << " lacks " << key;
    // A misspelt key is a missing one.
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      start = end + 1;
      const std::size_t eq = line.find('=');
      if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
      EXPECT_TRUE(known.count(line.substr(0, eq))) << item.path() << ": " << line;
    }
  }
  EXPECT_GE(files, 4);
}

TEST_F(LanguagePackTest, EveryTextTheWindowShowsComesFromTheListedKeys) {
  test::TempDir lang;
  std::string text;
  for (std::string_view key : kLanguageKeys) text += std::string(key) + "=" + std::string(key) + "\r\n";
  lang.Write("Keys.lng", text);
  Process().LangDir = lang.Path();
  TSettings stored;
  stored.SetLanguage("Keys");
  ASSERT_TRUE(SaveSettingsFile(Process().SettingsFile, stored));
  TStartForm& form = Shown();
  ASSERT_EQ(form.btnStart->text(), "btnStart");
  // Captions of the labels, check boxes and buttons that the language
  // names (the About page's and the wait panel's are the program's own).
  const std::set<QObject*> fixed = {form.lblName, form.lblVersion, form.Label5, form.Label7,
                                    form.WaitPanel, form.lblWait, form.RefusalNote};
  for (QLabel* label : form.findChildren<QLabel*>()) {
    if (!fixed.count(label) && label->pixmap().isNull()) {
      EXPECT_FALSE(label->text().isEmpty()) << label->objectName().toStdString();
    }
  }
  for (QAbstractButton* button : form.findChildren<QAbstractButton*>()) {
    const QString name = button->objectName();
    if ((name.startsWith("chb") || name.startsWith("btn")) && name != "chbSubFld" &&
        name != "btnDestFld") {
      EXPECT_FALSE(button->text().isEmpty()) << name.toStdString();
    }
  }
  for (int i = 0; i < form.PageControl1->count(); ++i)
    EXPECT_FALSE(form.PageControl1->tabText(i).isEmpty());
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(form.LinksView->headerItem()->text(i).isEmpty());
  for (QWidget* hinted : {static_cast<QWidget*>(form.btnDestFld), static_cast<QWidget*>(form.chbSubFld),
                          static_cast<QWidget*>(form.edURL)})
    EXPECT_FALSE(hinted->toolTip().isEmpty()) << hinted->objectName().toStdString();
  EXPECT_FALSE(form.grpAuth->title().isEmpty());
  const TSharedTexts& t = Process().Texts;
  for (const std::string* shared : {&t.SaveWPStr, &t.ByteRecStr, &t.FileRecStr, &t.btnAbortStr,
                                    &t.lblAuthTitle, &t.lblAuthUser, &t.lblAuthPass,
                                    &t.LfStaSiteEng, &t.LfStaSiteRus})
    EXPECT_FALSE(shared->empty());
}

TEST_F(LanguagePackTest, AnOlderLanguageFileSaysWhatItLacksInEnglish) {
  test::TempDir lang;
  std::filesystem::copy_file(LEAFSTASH_LANG_DIR "/English.lng", lang.File("English.lng"));
  lang.Write("Old.lng", "btnStart=Los\r\n");
  Process().LangDir = lang.Path();
  TSettings stored;
  stored.SetLanguage("Old");
  ASSERT_TRUE(SaveSettingsFile(Process().SettingsFile, stored));
  TStartForm& form = WithPage();
  EXPECT_EQ(form.btnStart->text(), "Los");
  form.edFolder->clear();
  form.btnStart->click();
  EXPECT_EQ(form.RefusalNote->text(), "Choose the folder to save into.");
}

TEST_F(LanguagePackTest, HelpOpensAtTheActivePage) {
  TStartForm& form = WithPage();
  int lastScroll = -1;
  THelpWindow* window = nullptr;
  const std::pair<QWidget*, int> pages[] = {
      {form.tshGeneral, 12}, {form.tshAdvanced, 13}, {form.tshAbout, 14}};
  for (const auto& [page, context] : pages) {
    form.PageControl1->setCurrentWidget(page);
    form.btnHelp->click();
    ASSERT_TRUE(form.HelpWindow);
    if (!window) window = form.HelpWindow.get();
    EXPECT_EQ(form.HelpWindow.get(), window);  // one window, reused
    QTextBrowser* browser = form.HelpWindow->Browser;
    EXPECT_TRUE(form.HelpWindow->isVisible());
    EXPECT_EQ(browser->source().toLocalFile().toStdString(), LEAFSTASH_LANG_DIR "/English.hlp");
    EXPECT_EQ(browser->source().fragment().toInt(), context);
    EXPECT_FALSE(form.HelpWindow->windowTitle().isEmpty());
    // Each page's part of the file comes after the one before.
    const int scroll = browser->verticalScrollBar()->value();
    EXPECT_GT(scroll, lastScroll);
    lastScroll = scroll;
  }

  ChooseLanguage(form, "Russian");
  form.btnHelp->click();
  EXPECT_EQ(form.HelpWindow->Browser->source().toLocalFile().toStdString(),
            LEAFSTASH_LANG_DIR "/Russian.hlp");
  EXPECT_NE(form.HelpWindow->Browser->toPlainText().indexOf(QString::fromUtf8("Справка")), -1);
}

TEST_F(LanguagePackTest, TheHelpWindowClosesWithEscapeAndCtrlWAndUsesTheWindowsFont) {
  TStartForm& form = WithPage();
  for (const QKeyCombination keys : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
    form.btnHelp->click();
    THelpWindow* help = form.HelpWindow.get();
    help->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(help));
    EXPECT_EQ(help->font(), form.font());
    QTest::keyClick(help->Browser, keys.key(), keys.keyboardModifiers());
    EXPECT_FALSE(help->isVisible()) << QKeySequence(keys).toString().toStdString();
  }
}

TEST_F(LanguagePackTest, HelpFallsBackToEnglishAndReportsAMissingFile) {
  test::TempDir lang;
  const std::string english = ReadAll(LEAFSTASH_LANG_DIR "/English.lng");
  lang.Write("English.lng", english);
  lang.Write("Tiny.lng", english);
  lang.Write("English.hlp",
             "<html><body><h2><a name=\"12\"></a>one</h2><h2><a name=\"13\"></a>two</h2>"
             "<h2><a name=\"14\"></a>three</h2></body></html>");
  Process().LangDir = lang.Path();
  TStartForm& form = WithPage();
  ChooseLanguage(form, "Tiny");
  form.PageControl1->setCurrentWidget(form.tshAdvanced);
  form.btnHelp->click();
  EXPECT_EQ(form.HelpWindow->Browser->source().toLocalFile().toStdString(),
            lang.File("English.hlp"));
  EXPECT_EQ(form.HelpWindow->Browser->source().fragment(), "13");

  std::filesystem::remove(lang.File("English.hlp"));
  std::string text;
  auto answer = test::AnswerBox(QMessageBox::Ok, &text);
  form.btnHelp->click();
  EXPECT_EQ(text, "Cannot open file " + lang.File("English.hlp"));
}

}  // namespace
}  // namespace leafstash
