#include "gui/save_job.h"

#include <QPushButton>

#include "gui/app_title.h"
#include "gui/beep.h"
#include "gui/main_form.h"
#include "core/process_values.h"

namespace leafstash {

TSaveJobResult RunSaveJob(std::unique_ptr<TURLListMan> URLList,
                          const std::vector<TCheckedLink>& CheckedLinks,
                          const std::string& WarningFile,
                          const std::function<bool()>& BeforeWindow) {
  TProcessValues& process = Process();
  TSaveJobResult result;
  process.URLList = URLList.get();
  result.Ran = PrepareSaveJob(*URLList, CheckedLinks) && (!BeforeWindow || BeforeWindow());
  if (result.Ran) {
    auto window = std::make_unique<TMainForm>();
    window->StartAnimation();
    window->setWindowTitle(AsCaption(process.PageTitle));
    window->btnAbort->setText(QString::fromStdString(process.Texts.btnAbortStr));
    window->exec();
    window.reset();
    MessageBeep(MB_ICONINFORMATION_BEEP);
  }
  FinishSaveJob(std::move(URLList), WarningFile);
  return result;
}

}  // namespace leafstash
