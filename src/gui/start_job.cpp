// The Start button: the destination is checked and made, the options are
// taken over, and the save job runs in the progress window.
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>

#include "gui/beep.h"
#include "gui/error_box.h"
#include "platform/files/file_utils.h"
#include "gui/links_view.h"
#include "core/ls_app.h"
#include "core/process_values.h"
#include "gui/run_job.h"
#include "engine/save_job_setup.h"
#include "gui/start_form.h"
#include "html/url_utils.h"

namespace leafstash {
void TStartForm::btnStartClick() {
  if (!pageCaptured_) return;
  const std::string folder = edFolder->text().toStdString();
  if (!IsFolder(folder)) {
    edFolder->setFocus();
    MessageBeep(MB_OK_BEEP);
    return;
  }
  std::string dest = WithSlash(folder);
  if (chbSubFld->isChecked()) {
    if (edSubFolder->text().isEmpty()) {
      edSubFolder->setFocus();
      MessageBeep(MB_OK_BEEP);
      return;
    }
    const std::string name = TitleToFolderName(edSubFolder->text().toStdString());
    edSubFolder->setText(QString::fromStdString(name));
    dest = WithSlash(dest + name);
    // Refused while the window is still there to correct it.
    if (!MakeFolders(dest)) {
      edSubFolder->setFocus();
      MessageBeep(MB_OK_BEEP);
      return;
    }
  }
  Process().DestPath = dest;
  SaveOptions();
  hide();
  RunJob();
}

void TStartForm::RunJob() {
  pageCaptured_ = false;
  TSaveRequest request = RequestForProcessPage();
  for (QTreeWidgetItem* row : LinksView->Rows())
    if (TLinksView::IsChecked(row))
      request.Links.push_back({TLinksView::Href(row), TLinksView::LinkText(row)});
  request.ShortcutPath =
      request.DestPath + TitleToFolderName(edSubFolder->text().toStdString()) + ".URL";
  // An error before the downloads is reported and the job does not run;
  // the process ends as after a job.
  RunSaveJob(std::move(request));
  ReleaseAppObject();
  TComServer& server = ComServer();
  if (server.ObjectCount == 0 && server.EndProcess) server.EndProcess();
}

void TStartForm::btnDestFldClick() {
  const QString folder = QFileDialog::getExistingDirectory(
      this, QString::fromStdString(destFolderTitle_), QString(), QFileDialog::ShowDirsOnly);
  if (!folder.isEmpty()) edFolder->setText(folder);
}

}  // namespace leafstash
