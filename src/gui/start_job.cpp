// The Start button: the destination is checked and made, the options are
// taken over, and the save job runs in the progress window.
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "gui/app_title.h"
#include "gui/beep.h"
#include "gui/error_box.h"
#include "platform/files/file_utils.h"
#include "gui/links_view.h"
#include "core/ls_app.h"
#include "core/process_values.h"
#include "gui/job_announcement.h"
#include "gui/refusal_note.h"
#include "gui/run_job.h"
#include "engine/save_job_setup.h"
#include "gui/start_form.h"
#include "html/url_utils.h"

namespace leafstash {
void TStartForm::btnStartClick() {
  if (!pageCaptured_) return;
  RefusalNote->hide();
  const std::string folder = edFolder->text().toStdString();
  if (!DestinationFolderReady(folder)) return;
  std::string dest = WithSlash(folder);
  if (chbSubFld->isChecked()) {
    if (edSubFolder->text().isEmpty()) {
      Refuse(edSubFolder, Say("msgNoSubFolder"));
      return;
    }
    const std::string name = TitleToFolderName(edSubFolder->text().toStdString());
    edSubFolder->setText(QString::fromStdString(name));
    dest = WithSlash(dest + name);
    // Refused while the window is still there to correct it.
    std::string why;
    if (!MakeFolders(dest, &why)) {
      Refuse(edSubFolder, Say("msgCannotCreate")
                              .arg(QString::fromStdString(dest), QString::fromStdString(why)));
      return;
    }
  }
  Process().DestPath = dest;
  SaveOptions();
  hide();
  RunJob();
}

bool TStartForm::DestinationFolderReady(const std::string& Folder) {
  const QString shown = QString::fromStdString(Folder);
  if (IsFolder(Folder)) return true;
  if (Folder.empty()) return Refuse(edFolder, Say("msgNoFolder"));
  if (PathExists(Folder)) return Refuse(edFolder, Say("msgNotFolder").arg(shown));
  // A relative path would be made wherever the program happens to run.
  if (Folder.front() != '/') return Refuse(edFolder, Say("msgNotAbsolute"));
  QMessageBox box(QMessageBox::Question, AsCaption(ApplicationTitle()),
                  Say("msgCreateFolder").arg(shown), QMessageBox::Yes | QMessageBox::No, this);
  box.setTextFormat(Qt::PlainText);
  box.button(QMessageBox::Yes)->setText(Say("btnYes"));
  box.button(QMessageBox::No)->setText(Say("btnNo"));
  box.setDefaultButton(QMessageBox::Yes);
  if (box.exec() != QMessageBox::Yes) return Refuse(edFolder, Say("msgNoSuchFolder").arg(shown));
  std::string why;
  if (!MakeFolders(Folder, &why))
    return Refuse(edFolder, Say("msgCannotCreate").arg(shown, QString::fromStdString(why)));
  return true;
}

bool TStartForm::Refuse(QWidget* Control, const QString& Why, QRect Area) {
  Control->setFocus();
  MessageBeep(MB_OK_BEEP);
  RefusalNote->ShowFor(Control, Why, Area);
  return false;
}

void TStartForm::RunJob() {
  pageCaptured_ = false;
  TSaveRequest request = RequestForProcessPage();
  for (QTreeWidgetItem* row : LinksView->Rows())
    if (TLinksView::IsChecked(row))
      request.Links.push_back({TLinksView::Href(row), TLinksView::LinkText(row)});
  request.ShortcutPath =
      request.DestPath + TitleToFolderName(edSubFolder->text().toStdString()) + ".URL";
  const std::string title = request.PageTitle, dest = request.DestPath;
  // An error before the downloads is reported and the job does not run;
  // the process ends as after a job.
  const TJobOutcome outcome = RunSaveJob(std::move(request));
  // The process stays while the end of the job can still be acted on.
  const auto end = [] {
    ReleaseAppObject();
    TComServer& server = ComServer();
    if (server.ObjectCount == 0 && server.EndProcess) server.EndProcess();
  };
  if (!outcome.Ran) {
    end();
    return;
  }
  if (!announcer_) announcer_ = new TJobAnnouncer(this);
  announcer_->Announce(outcome, title, dest, Language, end);
}

void TStartForm::btnDestFldClick() {
  const QString folder = QFileDialog::getExistingDirectory(
      this, QString::fromStdString(destFolderTitle_), QString(), QFileDialog::ShowDirsOnly);
  if (!folder.isEmpty()) edFolder->setText(folder);
}

}  // namespace leafstash
