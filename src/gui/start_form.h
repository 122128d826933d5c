// The start window: the General page with the page's links, destination and
// Start button; the Advanced page with the job's options; the About page.
// It is the program's main window and lives for the whole process.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "core/language.h"
#include "gui/anchors.h"
#include "html/href_parser.h"
#include "platform/automation/variant.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace Ui {
class TStartForm;
}

namespace leafstash {

class THelpWindow;
class TJobAnnouncer;
class TLinksView;
class TRefusalNote;
class TNewVersionCheck;
class TURLListMan;
class TUpDown;

class TStartForm : public QWidget {
 public:
  explicit TStartForm(QWidget* Parent = nullptr);
  ~TStartForm() override;

  // Start-up, pages, About page, leaving.
  void FormShow();
  bool PageControl1Changing();
  void PageControl1Change();
  void Label5Click();
  void Label7Click();
  void btnExitClick();
  // Always lets the window close.
  bool FormCloseQuery();

  // Page capture and the link list.
  void FillLinkList(const Variant& WB);
  void btnAllClick();
  void btnInverseClick();
  void btnInternalClick();

  // The save job.
  void btnStartClick();
  // True when Folder is there to save into; a folder that does not exist
  // is offered for creation. Otherwise the window says why.
  bool DestinationFolderReady(const std::string& Folder);
  void chbSubFldClick();
  void btnDestFldClick();

  // Options.
  void LoadOptions();
  void SaveOptions();
  // chbShown as the page will be saved: as shown, when the browser handed
  // it over and the option says so.
  void ShowHowPageIsSaved();
  void chbURLClick();
  void chbAutoSkipClick();
  void chbNewVerClick();

  // Languages.
  void ApplyLanguage();
  void cmbLangChange() { ApplyLanguage(); }
  void FillLanguageList();
  std::string HelpFile;  // the help file of the language in use
  TLanguageFile Language;  // the language in use
  QString Say(const char* Key) const { return QString::fromStdString(Language.Value(Key)); }

  // A refusal: the focus goes to Control, the beep sounds, and the note
  // next to Control (or to Area of it) says Why. Always false.
  bool Refuse(QWidget* Control, const QString& Why, QRect Area = QRect());
  TRefusalNote* RefusalNote = nullptr;  // made with the other controls
  // The General and Advanced pages are open only with a page to save.
  void UpdatePageLock();

  // Help and the new-version check.
  void btnHelpClick();
  void CheckNewVersion();
  // The help context of the active page: General 12, Advanced 13, About 14.
  int ActiveHelpContext() const;
  std::unique_ptr<TNewVersionCheck> VersionCheck;
  std::unique_ptr<THelpWindow> HelpWindow;  // made at the first Help

  // The controls of the form.
  QTabWidget* PageControl1;
  QWidget *tshGeneral, *tshAdvanced, *tshAbout;
  QLabel *lblDestFld, *lblSubFld, *lblWait, *WaitPanel;
  QLineEdit *edFolder, *edSubFolder;
  QPushButton *btnDestFld, *btnAll, *btnInverse, *btnInternal, *btnStart;
  QCheckBox *chbSubFld, *chbImg;
  // The page as the browser shows it, or downloaded again; enabled when
  // the browser handed the page over.
  QCheckBox* chbShown;
  QCheckBox *chbSingleFile, *chbWarc;
  TLinksView* LinksView;
  QCheckBox *chbExter, *chbURL, *chbExist, *chbAutoSkip, *chbNewVer;
  QLineEdit *edURL, *edSec, *edThread, *edNewVer, *edUserS, *edPassS;
  TUpDown *udSec, *udThread, *udNewVer;
  QLabel *lblSec, *lblThread, *lblNewVer, *lblLang, *lblUser, *lblPass;
  QComboBox* cmbLang;
  QGroupBox* grpAuth;
  QLabel *lblName, *lblVersion, *Label5, *Label7;
  QCheckBox* chbOptDef;
  QPushButton *btnHelp, *btnExit;

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void SetUpControls();
  void SetPage(QWidget* Page);  // a page chosen by the program
  void FitNumberBox(QCheckBox* Box, QLineEdit* Edit, TUpDown* Arrows, QLabel* Unit);
  // The row of buttons spans the list; Start lines up with Help and Exit.
  void ArrangeGeneralPage();
  void ShowLinksInLinkColour();
  void SetTabOrder();
  void HREFParser1FoundHyperlink(const std::string& Hyperlink);
  void RunJob();

  std::unique_ptr<Ui::TStartForm> ui_;
  TJobAnnouncer* announcer_ = nullptr;  // the end of the last job, on the desktop
  bool pageCaptured_ = false;  // a page to save arrived, and no job has run for it
  TAnchors anchors_;
  THREFParser HREFParser1;
  std::string DocumentURL;
  std::string destFolderTitle_;  // the folder button's hint, as text
  std::vector<std::string> SelectionLinks;
  int shownPage_ = 2;
  bool shown_ = false;
  bool programPage_ = false;
};

// The colours of an edit that is enabled (the window's) or not (a button's).
void EnableEdit(QWidget* Edit, bool Enabled);

}  // namespace leafstash
