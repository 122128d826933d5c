// One save job, made from a request and ending in one outcome. It writes
// the in-use warning file (and the internet shortcut when asked), fills the
// URL table with the page, its frames and the links to take along, runs the
// job driver, judges what was saved, and finishes: the warning file goes,
// the table writes the job log, and what the browser handed over is let
// go. The faces only show what it reports and answer what it asks: the
// window and the command line drive the same job.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "engine/job_driver.h"
#include "engine/job_outputs.h"
#include "engine/save_job_setup.h"
#include "platform/automation/variant.h"
#include "platform/browser_handover.h"

namespace leafstash {

// What a job is asked to save.
struct TSaveRequest {
  std::string PageURL;    // trimmed address of the page
  std::string PageTitle;  // trimmed title of the page
  std::string DestPath;   // destination folder, existing, ending in "/"
  Variant BrowserWindow = Variant::Null();  // the browser's window object, or Null
  std::vector<TCheckedLink> Links;              // the linked pages to take along
  TLinkChoice TakeLinks = TLinkChoice::None;    // the page's anchors, chosen by rule
  TSettings Options;                            // the options record for this job
  TBrowserHandover Handover;  // the documents as shown, the user agent, the cookies
  // The internet shortcut to the page written before the job, when given.
  std::string ShortcutPath;
  // The one-file copy and the web archive kept beside the folder copy.
  TJobOutputs Outputs;
};

// A request for the page the process values describe (as the start window
// captured it): its address, title, window, destination and options, and
// what the browser handed over, which moves into the request.
TSaveRequest RequestForProcessPage();

// How a job ended.
enum class TJobEnd {
  Saved,        // the page and every file
  PartlySaved,  // the page, with files that failed
  Failed,       // the page was not saved, or the job could not run
  Aborted,      // stopped by the user: nothing was rewritten
};

struct TJobOutcome {
  TJobEnd End = TJobEnd::Failed;
  bool Ran = false;     // the downloads were started (false: the job never ran)
  std::string Error;    // why it could not start, when not reported already
  std::size_t Saved = 0;   // files stored by this job
  std::size_t Reused = 0;  // files an earlier job left, kept as they are
  std::uint64_t BytesReceived = 0;
  std::vector<std::string> Failures;        // "address: reason"
  std::optional<std::string> PageFailure;   // why the page itself was not saved
  std::string PagePath;                     // the saved page, when it was
  std::string SingleFilePath;               // the one-file copy, when written
  std::string ArchivePath;                  // the web archive, when written
};

class TSaveJob : public QObject {
  Q_OBJECT

 public:
  explicit TSaveJob(TSaveRequest Request, QObject* Parent = nullptr);
  // A job still running is aborted and finished first, without Finished.
  ~TSaveJob() override;

  // The faces' questions go to Delegate (the window's dialogs, the terminal).
  void SetUiDelegate(TJobUiDelegate* Delegate) { driver_->SetUiDelegate(Delegate); }
  // What the faces show: figures, per-entry ends, the rewrite phase.
  TJobDriver& Driver() { return *driver_; }
  const TJobDriver& Driver() const { return *driver_; }
  const TSaveRequest& Request() const { return request_; }

  // Writes the shortcut and the warning file and fills the table; errors go
  // to the process's error report. False when the job cannot run: it has
  // then finished already (Outcome().Ran is false).
  bool Prepare();
  // Starts the downloads; Finished follows from the event loop.
  void Start();
  // Stops the downloads; nothing is rewritten. Before Start, the job
  // finishes at once (before Prepare, as soon as it is prepared).
  void Abort();
  bool IsFinished() const { return finished_; }
  const TJobOutcome& Outcome() const { return outcome_; }

 signals:
  // The job is over and everything is let go; Outcome() says how it ended.
  void Finished();

 private:
  void Judge();
  // Writes the one-file copy and the web archive of a job that ran to its
  // end (the archive on a thread of its own, the event loop going on), then
  // finishes; what could not be written is a failure of the job.
  void KeepOutputs();
  void TakeOutputs(const std::vector<std::string>& Failures);
  void Finish();

  TSaveRequest request_;
  // Before the driver: it outlives the downloads that record into it.
  std::unique_ptr<TOutputWriters> outputs_;
  std::unique_ptr<TJobDriver> driver_;
  std::unique_ptr<TURLListMan> table_;
  std::string warningFile_;
  TJobOutcome outcome_;
  bool prepared_ = false;
  bool finished_ = false;
  bool abortAsked_ = false;  // Abort came before Start
  std::thread packing_;      // packs the web archive
};

}  // namespace leafstash
