#include "save_job.h"

#include <QPushButton>
#include <unistd.h>

#include <cerrno>

#include "beep.h"
#include "file_utils.h"
#include "main_form.h"
#include "process_values.h"

namespace leafstash {

TSaveJobResult RunSaveJob(std::unique_ptr<TURLListMan> URLList,
                          const std::vector<TCheckedLink>& CheckedLinks,
                          const std::string& WarningFile) {
  TProcessValues& process = Process();
  TSaveJobResult result;
  process.URLList = URLList.get();
  try {
    URLList->AddPageAndFrames();
    for (const TCheckedLink& link : CheckedLinks)
      URLList->Add(link.Href, "", link.Text, "", TURLKind::Other, TURLState::Queued);
    result.Ran = true;
  } catch (const TFileError& e) {
    // An earlier log that cannot be read is kept: no job, no new log.
    if (process.ReportError) process.ReportError(e.what());
    URLList->DiscardLog();
  }
  if (result.Ran) {
    auto window = std::make_unique<TMainForm>();
    window->StartAnimation();
    window->setWindowTitle(QString::fromStdString(process.PageTitle));
    window->btnAbort->setText(QString::fromStdString(process.Texts.btnAbortStr));
    window->exec();
    window.reset();
    MessageBeep(MB_ICONINFORMATION_BEEP);
  }
  // A warning file that cannot be deleted is reported; the log is still
  // written.
  if (!WarningFile.empty() && ::unlink(WarningFile.c_str()) != 0 && errno != ENOENT &&
      process.ReportError)
    process.ReportError(TFileError(WarningFile, errno).what());
  URLList.reset();  // writes the job log
  process.URLList = nullptr;
  process.BrowserWindow = Variant::Null();
  return result;
}

}  // namespace leafstash
