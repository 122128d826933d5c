#include "gui/run_job.h"

#include <QPushButton>

#include "core/process_values.h"
#include "gui/app_title.h"
#include "gui/beep.h"
#include "gui/main_form.h"

namespace leafstash {

TJobOutcome RunSaveJob(TSaveRequest Request) {
  TSaveJob job(std::move(Request));
  if (job.Prepare()) {
    TMainForm window(job.Driver());
    job.SetUiDelegate(&window);
    QObject::connect(&job, &TSaveJob::Finished, &window, [&window] { window.done(QDialog::Accepted); });
    window.StartAnimation();
    window.setWindowTitle(AsCaption(job.Request().PageTitle));
    window.ShowJob(job.Request().PageTitle, job.Request().DestPath);
    window.btnAbort->setText(QString::fromStdString(Process().Texts.btnAbortStr));
    // Showing the window starts the job.
    window.OnFirstShown = [&job] { job.Start(); };
    window.exec();
    job.SetUiDelegate(nullptr);
    MessageBeep(MB_ICONINFORMATION_BEEP);
  }
  return job.Outcome();
}

}  // namespace leafstash
