// The start window's options: loaded from the settings record into the
// controls, copied back, and the language applied to every caption.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <algorithm>
#include <filesystem>

#include "gui/error_box.h"
#include "core/language.h"
#include "gui/label_text.h"
#include "gui/links_view.h"
#include "core/process_values.h"
#include "gui/start_form.h"
#include "html/text_utils.h"
#include "gui/up_down.h"
#include "engine/url_list.h"

namespace leafstash {
namespace {

QString Q(const std::string& Text) { return QString::fromStdString(Text); }

// Hints from a language file are shown as the text they are.
void SetHint(QWidget* Control, const std::string& Text) { Control->setToolTip(PlainHint(Q(Text))); }

// A stored size no screen could show is taken as the largest it can.
int Fit(std::int32_t Stored, int Minimum, int Largest) {
  return std::clamp<std::int64_t>(Stored, Minimum, std::max(Minimum, Largest));
}

// A language name is a file name in the language folder, nothing more.
bool IsPlainFileName(const std::string& Name) {
  return Name.find_first_of("/\\") == std::string::npos && (Name.empty() || Name[0] != '.');
}

}  // namespace

void TStartForm::LoadOptions() {
  TSettings& s = Process().Settings;
  LoadSettingsFile(Process().SettingsFile, s);

  edFolder->setText(Q(s.Folder()));
  chbSubFld->setChecked(s.UseSubFolder());
  chbImg->setChecked(s.SavePictures());
  Process().ExtraSettings.Load(Process().ExtraSettingsFile);
  ShowHowPageIsSaved();
  if (s.LinkColumnWidth() == 0) s.SetLinkColumnWidth(200);
  if (s.TextColumnWidth() == 0) s.SetTextColumnWidth(200);
  LinksView->setColumnWidth(1, Fit(s.LinkColumnWidth(), 0, 4000));
  LinksView->setColumnWidth(3, Fit(s.TextColumnWidth(), 0, 4000));
  const QScreen* display = screen();
  const QSize room = display ? display->availableSize() : QSize(4000, 4000);
  resize(Fit(s.WindowWidth(), minimumWidth(), room.width()),
         Fit(s.WindowHeight(), minimumHeight(), room.height()));

  const TSettings shown = ShownOptions(s);
  udSec->SetPosition(shown.SkipSeconds());
  chbAutoSkip->setChecked(shown.AutoSkip());
  udThread->SetPosition(shown.MaxThreads());
  udNewVer->SetPosition(shown.CheckIntervalDays());
  chbNewVer->setChecked(shown.CheckVersion());
  chbExter->setChecked(s.LocalPicturesOnly());
  chbURL->setChecked(s.UseURLFilter());
  edURL->setText(Q(s.URLFilter()));
  chbExist->setChecked(s.SkipExisting());
  edUserS->setText(Q(s.UserName()));
  edPassS->setText(Q(s.Password()));
  cmbLang->setEditText(Q(s.Language()));
  chbSingleFile->setChecked(Process().ExtraSettings.SingleFile());
  chbWarc->setChecked(Process().ExtraSettings.WebArchive());
  FillLanguageList();
}

void TStartForm::ShowHowPageIsSaved() {
  const bool handedOver = !Process().Handover.Documents.empty();
  chbShown->setEnabled(handedOver);
  chbShown->setChecked(handedOver && Process().ExtraSettings.SaveAsShown());
}

void TStartForm::SaveOptions() {
  TSettings& s = Process().Settings;
  s.SetFolder(Trim(edFolder->text().toStdString()));
  s.SetUseSubFolder(chbSubFld->isChecked());
  s.SetSavePictures(chbImg->isChecked());
  s.SetLinkColumnWidth(LinksView->columnWidth(1));
  s.SetTextColumnWidth(LinksView->columnWidth(3));
  s.SetWindowHeight(height());
  s.SetWindowWidth(width());
  s.SetAutoSkip(chbAutoSkip->isChecked());
  s.SetSkipSeconds(udSec->Position());
  s.SetMaxThreads(udThread->Position());
  s.SetCheckVersion(chbNewVer->isChecked());
  s.SetCheckIntervalDays(udNewVer->Position());
  s.SetLocalPicturesOnly(chbExter->isChecked());
  s.SetUseURLFilter(chbURL->isChecked());
  s.SetURLFilter(Trim(edURL->text().toStdString()));
  s.SetSkipExisting(chbExist->isChecked());
  s.SetUserName(edUserS->text().toStdString());
  s.SetPassword(edPassS->text().toStdString());
  s.SetLanguage(cmbLang->currentText().toStdString());
  // Only a choice the user could make is taken over.
  TExtraSettings& extra = Process().ExtraSettings;
  if (chbShown->isEnabled()) extra.SetSaveAsShown(chbShown->isChecked());
  // Written once changed, so that the file keeps only what was chosen.
  if (chbSingleFile->isChecked() != extra.SingleFile()) extra.SetSingleFile(chbSingleFile->isChecked());
  if (chbWarc->isChecked() != extra.WebArchive()) extra.SetWebArchive(chbWarc->isChecked());
  if (chbOptDef->isChecked()) {
    SaveSettingsFile(Process().SettingsFile, s);
    extra.Save(Process().ExtraSettingsFile);
  }
  if (s.UseURLFilter() && Process().URLList) Process().URLList->LoadFilterWords();
}

void TStartForm::FillLanguageList() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(Process().LangDir, error)) {
    const std::string name = item.path().filename().string();
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".lng") == 0)
      names.push_back(name.substr(0, name.size() - 4));
  }
  std::sort(names.begin(), names.end());
  const QString text = cmbLang->currentText();
  for (const std::string& name : names) cmbLang->addItem(Q(name));
  cmbLang->setEditText(text);
}

void TStartForm::ApplyLanguage() {
  TProcessValues& process = Process();
  if (cmbLang->currentText().isEmpty())
    cmbLang->setEditText(IsRussianSystem() ? "Russian" : "English");
  const std::string name = cmbLang->currentText().toStdString();
  const std::string path = process.LangDir + name + ".lng";
  TLanguageFile file;
  try {
    if (!IsPlainFileName(name)) throw TLanguageError("Cannot open file " + path);
    file = TLanguageFile::Load(path);
  } catch (const TLanguageError& e) {
    ShowErrorBox(this, e.what());
    return;
  }
  Language = file;
  // The window's own texts come out in English rather than empty.
  try {
    Language.AddMissing(TLanguageFile::Load(process.LangDir + "English.lng"));
  } catch (const TLanguageError&) {
  }
  const auto text = [&](const char* Key) { return Q(file.Value(Key)); };
  lblDestFld->setText(text("lblDestFld"));
  destFolderTitle_ = file.Value("btnDestFld");
  SetHint(btnDestFld, destFolderTitle_);
  lblSubFld->setText(text("lblSubFld"));
  SetHint(chbSubFld, file.Value("chbSubFld"));
  btnStart->setText(text("btnStart"));
  btnHelp->setText(text("btnHelp"));
  btnExit->setText(text("btnExit"));
  chbImg->setText(text("chbImg"));
  chbShown->setText(text("chbShown"));
  SetHint(chbShown, file.Value("hntShown"));
  chbOptDef->setText(text("chbOptDef"));
  btnAll->setText(text("btnAll"));
  btnInverse->setText(text("btnInverse"));
  btnInternal->setText(text("btnInternal"));
  LinksView->setHeaderLabels({text("col0"), text("col1"), text("col2"), text("col3")});
  PageControl1->setTabText(PageControl1->indexOf(tshGeneral), text("tshGeneral"));
  chbExter->setText(text("chbExter"));
  chbURL->setText(text("chbURL"));
  SetHint(edURL, file.Value("edURL"));
  chbExist->setText(text("chbExist"));
  chbSingleFile->setText(text("chbSingleFile"));
  SetHint(chbSingleFile, file.Value("hntSingleFile"));
  chbWarc->setText(text("chbWarc"));
  SetHint(chbWarc, file.Value("hntWarc"));
  chbAutoSkip->setText(text("chbAutoSkip"));
  lblSec->setText(text("lblSec"));
  FitNumberBox(chbAutoSkip, edSec, udSec, lblSec);
  lblThread->setText(text("lblThread"));
  chbNewVer->setText(text("chbNewVer"));
  lblNewVer->setText(text("lblNewVer"));
  FitNumberBox(chbNewVer, edNewVer, udNewVer, lblNewVer);
  lblLang->setText(text("lblLang"));
  grpAuth->setTitle(text("grpAuth"));
  lblUser->setText(text("lblUser"));
  lblPass->setText(text("lblPass"));
  PageControl1->setTabText(PageControl1->indexOf(tshAdvanced), text("tshAdvanced"));
  PageControl1->setTabText(PageControl1->indexOf(tshAbout), text("tshAbout"));
  ApplySharedTexts(file, process.Texts);
  // Labels take the size of their captions.
  for (QLabel* label : {lblDestFld, lblSubFld, lblSec, lblThread, lblNewVer, lblLang, lblUser, lblPass})
    label->adjustSize();

  const std::string help = process.LangDir + name + ".hlp";
  HelpFile = std::filesystem::exists(help) ? help : process.LangDir + "English.hlp";
  process.SiteURL = SiteURLFor(name, process.Texts);
}

void TStartForm::FitNumberBox(QCheckBox* Box, QLineEdit* Edit, TUpDown* Arrows, QLabel* Unit) {
  // The box as wide as its caption; the number, its arrows and the unit
  // follow it, a few pixels apart.
  Box->resize(Box->sizeHint().width(), Box->height());
  const int left = Box->x() + Box->width() + 4;
  Edit->move(left, Edit->y());
  Arrows->move(left + Edit->width(), Arrows->y());
  Unit->move(Arrows->x() + Arrows->width() + 4, Unit->y());
}

}  // namespace leafstash
