#include "engine/save_job_setup.h"

#include <cerrno>
#include <unistd.h>

#include "platform/files/file_utils.h"
#include "core/process_values.h"
#include "platform/urlmon/session_cookies.h"

namespace leafstash {
namespace {

constexpr const char* kWarningLine1 = "DO NOT OPEN ANY FILE WHILE LEAFSTASH IS RUNNING";
constexpr const char* kWarningLine2 = "YOU MUST CLOSE THIS FILE IMMEDIATELY";

void Report(const std::string& Message) {
  if (Process().ReportError) Process().ReportError(Message);
}

}  // namespace

bool PrepareSaveJob(TURLListMan& List, const std::vector<TCheckedLink>& CheckedLinks) {
  // The job's requests carry the session the browser handed over.
  SessionCookies().Clear();
  for (const TBrowserCookie& cookie : Process().Handover.Cookies) SessionCookies().Add(cookie);
  try {
    List.AddPageAndFrames();
    for (const TCheckedLink& link : CheckedLinks) {
      List.Add(link.Href, "", link.Text, "", TURLKind::Other, TURLState::Queued);
      List.MarkLinkedPage(link.Href);
    }
  } catch (const TFileError& e) {
    // An earlier log that cannot be read is kept: no job, no new log.
    Report(e.what());
    List.DiscardLog();
    return false;
  }
  const std::string& dest = Process().DestPath;
  if (!dest.empty()) {
    RemoveLeftPartFiles(dest);
    try {
      List.KeepLogCurrent();
    } catch (const TFileError& e) {
      Report(e.what());  // the job goes on; the log is tried again at its end
    }
  }
  return true;
}

std::string WarningFilePath(const std::string& DestPath) {
  return DestPath + "! " + kWarningLine1 + " !";
}

void WriteWarningFile(const std::string& Path) {
  WriteFileAtomically(Path, std::string(kWarningLine1) + "\r\n" + kWarningLine2 + "\r\n", 0644,
                      false);
}

void FinishSaveJob(std::unique_ptr<TURLListMan> List, const std::string& WarningFile) {
  TProcessValues& process = Process();
  if (!WarningFile.empty() && ::unlink(WarningFile.c_str()) != 0 && errno != ENOENT)
    Report(TFileError(WarningFile, errno).what());
  List.reset();  // writes the job log
  process.URLList = nullptr;
  process.BrowserWindow = Variant::Null();
  // The session is the user's: nothing of it outlives the job.
  process.Handover = {};
  SessionCookies().Clear();
}

}  // namespace leafstash
