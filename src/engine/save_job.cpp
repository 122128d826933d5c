#include "engine/save_job.h"

#include <algorithm>

#include "core/process_values.h"
#include "platform/files/file_utils.h"

namespace leafstash {
namespace {

void Report(const std::string& Message) {
  if (Process().ReportError) Process().ReportError(Message);
}

}  // namespace

TSaveRequest RequestForProcessPage() {
  TProcessValues& process = Process();
  TSaveRequest request;
  request.PageURL = process.PageURL;
  request.PageTitle = process.PageTitle;
  request.DestPath = process.DestPath;
  request.BrowserWindow = process.BrowserWindow;
  request.Options = process.Settings;
  request.Handover = std::move(process.Handover);
  process.Handover = {};
  request.Outputs.SingleFile = process.ExtraSettings.SingleFile();
  request.Outputs.WebArchive = process.ExtraSettings.WebArchive();
  request.Outputs.InlineLimit = static_cast<std::uint64_t>(process.ExtraSettings.SingleFileMaxMiB()) << 20;
  return request;
}

TSaveJob::TSaveJob(TSaveRequest Request, QObject* Parent)
    : QObject(Parent), request_(std::move(Request)), driver_(std::make_unique<TJobDriver>()) {
  driver_->TakeLinks = request_.TakeLinks;
  connect(driver_.get(), &TJobDriver::JobClosed, this, [this] {
    Judge();
    KeepOutputs();
  });
}

TSaveJob::~TSaveJob() {
  // An archive being packed is packed; its answer, posted, goes with the job.
  if (packing_.joinable()) packing_.join();
  // A job still running is stopped and let go of quietly: nobody is left
  // to hear that it finished.
  if (prepared_ && !finished_) {
    driver_->Abort();
    Judge();
    outcome_.End = TJobEnd::Aborted;
    blockSignals(true);
    Finish();
  }
}

bool TSaveJob::Prepare() {
  if (prepared_) return !finished_;
  prepared_ = true;
  // The engine's parts (the table, its log, the driver) read the job's
  // values from the process values: the job sets them here and lets go of
  // them when it finishes, so no face does.
  TProcessValues& process = Process();
  process.PageURL = request_.PageURL;
  process.PageTitle = request_.PageTitle;
  process.DestPath = request_.DestPath;
  process.BrowserWindow = request_.BrowserWindow;
  process.Settings = request_.Options;
  process.Handover = std::move(request_.Handover);
  request_.Handover = {};

  const auto fail = [this](TJobEnd End, std::string Error) {
    outcome_.End = End;
    outcome_.Error = std::move(Error);
    Finish();
    return false;
  };
  if (abortAsked_) return fail(TJobEnd::Aborted, "");
  // The in-use warning comes first: a folder it cannot be written into is
  // left as it was.
  try {
    const std::string warning = WarningFilePath(request_.DestPath);
    WriteWarningFile(warning);
    warningFile_ = warning;
  } catch (const TFileError& e) {
    Report(e.what());
    return fail(TJobEnd::Failed, "");
  }
  table_ = std::make_unique<TURLListMan>();
  process.URLList = table_.get();
  if (!PrepareSaveJob(*table_, request_.Links))
    return fail(TJobEnd::Failed, "the earlier job log in " + request_.DestPath +
                                     " cannot be read; nothing was saved");
  try {
    if (!request_.ShortcutPath.empty())
      WriteFileAtomically(request_.ShortcutPath,
                          "[InternetShortcut]\r\nURL=" + request_.PageURL + "\r\n", 0644, false);
  } catch (const TFileError& e) {
    Report(e.what());
    return fail(TJobEnd::Failed, "");
  }
  outcome_.Reused = table_->CountInState(TURLState::Done);
  if (request_.Outputs.SingleFile || request_.Outputs.WebArchive) {
    outputs_ = std::make_unique<TOutputWriters>(request_.Outputs, request_.DestPath,
                                                request_.PageURL, request_.PageTitle);
    outputs_->Begin(*table_);
    driver_->SetArchive(outputs_->Archive());
  }
  return true;
}

void TSaveJob::Start() {
  if (!prepared_ && !Prepare()) return;
  if (finished_ || outcome_.Ran) return;
  outcome_.Ran = true;
  driver_->Start();
}

void TSaveJob::Abort() {
  if (finished_) return;
  if (!outcome_.Ran) {
    abortAsked_ = true;
    outcome_.End = TJobEnd::Aborted;
    if (prepared_) Finish();
    return;
  }
  driver_->Abort();
}

void TSaveJob::Judge() {
  if (!table_) return;
  const TURLListMan& list = *table_;
  const std::optional<std::size_t> pageEntry = list.PageEntry();
  std::size_t done = 0;
  outcome_.Failures.clear();
  outcome_.PageFailure.reset();
  if (!pageEntry) outcome_.PageFailure = "not admitted";
  for (std::size_t i = 0; i < list.Count(); ++i) {
    const TURLEntry& entry = list.Item(i);
    const bool page = pageEntry == i;
    if (entry.State == TURLState::Done) {
      ++done;
      if (page) outcome_.PagePath = request_.DestPath + entry.LocalName;
      continue;
    }
    std::string reason =
        entry.State == TURLState::Failed ? driver_->FailureReason(i) : "not finished";
    if (page) outcome_.PageFailure = reason;
    outcome_.Failures.push_back(entry.EntryURL + ": " + reason);
  }
  outcome_.Saved = done - std::min(done, outcome_.Reused);
  outcome_.BytesReceived = driver_->Figures().BytesReceived;
  if (driver_->Aborted())
    outcome_.End = TJobEnd::Aborted;
  else if (outcome_.PageFailure)
    outcome_.End = TJobEnd::Failed;
  else
    outcome_.End = outcome_.Failures.empty() ? TJobEnd::Saved : TJobEnd::PartlySaved;
}

void TSaveJob::KeepOutputs() {
  if (!outputs_ || !table_ || driver_->Aborted()) return Finish();
  TakeOutputs(outputs_->FinishInPlace(*table_));
  if (!outputs_->ArchivePending()) return Finish();
  packing_ = std::thread([this] {
    const std::string failure = outputs_->FinishArchive();
    QMetaObject::invokeMethod(
        this,
        [this, failure] {
          packing_.join();
          TakeOutputs(failure.empty() ? std::vector<std::string>() : std::vector{failure});
          Finish();
        },
        Qt::QueuedConnection);
  });
}

void TSaveJob::TakeOutputs(const std::vector<std::string>& Failures) {
  for (const std::string& failure : Failures) outcome_.Failures.push_back(failure);
  if (outputs_->SingleFileWritten()) outcome_.SingleFilePath = outputs_->SingleFilePath();
  if (outputs_->ArchiveWritten()) outcome_.ArchivePath = outputs_->ArchivePath();
  if (!Failures.empty() && outcome_.End == TJobEnd::Saved) outcome_.End = TJobEnd::PartlySaved;
}

void TSaveJob::Finish() {
  if (finished_) return;
  finished_ = true;
  if (outputs_) outputs_->Discard();
  FinishSaveJob(std::move(table_), warningFile_);
  emit Finished();
}

}  // namespace leafstash
