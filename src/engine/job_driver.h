// The driver of a save job: downloads the queued entries of the URL table
// several at a time, each into a part file of the destination folder that
// is renamed into place when complete, scans the stored pages for their
// resources and, when no download is left, rewrites the links of the
// stored pages. It has no window: it reports what happens through signals
// and asks the user only through its UI delegate, so the progress window
// and the command line drive the same job.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/web_archive.h"
#include "download/ie_download.h"
#include "engine/link_rewriter.h"
#include "engine/url_list.h"
#include "html/url_utils.h"

namespace leafstash {

// What the faces of a job show.
struct TJobFigures {
  std::size_t Done = 0;   // entries stored (awaiting rewrite or done)
  std::size_t Total = 0;  // entries in the table
  std::size_t Queued = 0;
  std::uint64_t BytesReceived = 0;
  std::string SpeedText;   // the last speed the download component reported
  std::string CurrentURL;  // where data last came from
  // The progress bar: entries stored of the table, then pages rewritten of
  // those to rewrite.
  long long BarPosition = 0;
  long long BarMaximum = 0;
  bool Rewriting = false;
};

struct TCredentials {
  std::string UserName;
  std::string Password;
};
// The answer to a question about credentials: nothing when none are given.
using TCredentialsAnswer = std::function<void(std::optional<TCredentials>)>;

// Asks the user what only the user can answer. The answer may come at once
// or later, from the event loop; the download that asked waits for it
// while the others go on.
class TJobUiDelegate {
 public:
  virtual ~TJobUiDelegate() = default;
  // Credentials for the server at Url. Answer is called once, unless the
  // job is over first; without credentials the request ends with the
  // server's refusal.
  virtual void AskCredentials(const std::string& Url, TCredentialsAnswer Answer) = 0;
};

// Which anchors of the browser page the job takes along when the page
// arrives (the command line has no link list to check them in).
enum class TLinkChoice { None, All, Internal };

class TJobDriver : public QObject {
  Q_OBJECT

 public:
  // The three private messages; each is posted to the driver itself.
  static constexpr int WM_JOB_CLOSE = 1224;
  static constexpr int WM_DOWNLOADS_DONE = 1234;
  static constexpr int WM_JOB_START = 1239;

  // Works on the process's URL table.
  explicit TJobDriver(QObject* Parent = nullptr);
  // Part files of downloads still running are removed.
  ~TJobDriver() override;

  void SetUiDelegate(TJobUiDelegate* Delegate) { delegate_ = Delegate; }
  // Where the downloads' exchanges and the documents the browser handed
  // over are recorded; none when null.
  void SetArchive(TWebArchive* Archive) { archive_ = Archive; }
  TLinkChoice TakeLinks = TLinkChoice::None;

  // Posts the start message; the job then runs from the event loop.
  void Start();
  // Cancels the downloads and closes the job; nothing is rewritten.
  void Abort();
  bool Aborted() const { return aborted_; }
  bool Closed() const { return closed_; }

  // What the faces show, taken from the table and the counters now.
  TJobFigures Figures() const;
  // Why entry Index failed, in a few words; empty when it did not.
  std::string FailureReason(std::size_t Index) const;

  // The download phase.
  void StartJob();
  void StartNext();
  void IEDProgress(TBSCB* Sender, ULONG StatusCode, LPCWSTR StatusText,
                   const std::string& Speed);
  void IEDData(ULONG BufLength);
  void IEDComplete(TBSCB* Sender, TStream* Stream, HRESULT Result);
  HRESULT IEDAuthenticate(TBSCB* Sender, LPWSTR& UserName, LPWSTR& Password);
  // Adds the Referer a browser would send to the request's headers.
  HRESULT IEDBeginningTransaction(TBSCB* Sender, LPCWSTR Url, LPWSTR& AdditionalHeaders);
  // Moves the finished part file into place and scans a page.
  void SaveCompleted(std::size_t Entry, const std::string& PartFile);
  // Stores the document the browser handed over for the entry's address,
  // made inert, as the page a server would have sent; false when it handed
  // none over (or the page is to be downloaded again).
  bool StoreShownDocument(std::size_t Entry);
  // Full: the bar follows the table; otherwise only the bar of the rewrite
  // phase moved.
  void UpdateProgress(bool Full);

  // Resource discovery and link rewriting. The scans queue what a stored
  // page or style sheet refers to; false when the file is not one that is
  // scanned (not text, or too large).
  bool ScanSavedPage(const std::string& Path);
  bool ScanSavedStyleSheet(const std::string& Path);
  void RewritePages();

  TIEDownload IED;

  std::int32_t ActiveCount = 0;
  std::uint64_t BytesReceived = 0;
  std::string SpeedText;
  std::string CurrentPageURL;

 signals:
  // The job is about to start its downloads.
  void Starting();
  // The figures changed (Full) or only the rewrite bar moved.
  void ProgressChanged(bool Full);
  // Entry Index was stored or failed in the download phase.
  void EntryFinished(std::size_t Index);
  // The job is over (WM_JOB_CLOSE): after the rewrite phase, or aborted.
  void JobClosed();

 protected:
  bool event(QEvent* Event) override;

 private:
  void Post(int Message);
  void StartDownloads();
  void Fail(std::size_t Entry, std::string Reason);
  // What a MIME type makes of an entry: its kind and its name's extension.
  void ApplyMimeType(std::size_t Index, const std::string& Mime);
  // The entry's file is at Path: a page or style sheet is scanned.
  void Stored(std::size_t Entry, const std::string& Path);
  // Charset: the one the page declares, in which its addresses are written.
  // Depth: how deep inside srcdoc pages Text stands.
  void QueueRefs(std::string_view Text, const std::vector<TResourceRef>& Refs,
                 const TUrlBase& Base, const std::string& Charset, int Depth);
  // The text with each reference made local where the table holds its file
  // and absolute where it does not; with AbsoluteOnly, only the absolute
  // references whose file the table now holds change.
  std::string RewriteRefs(std::string_view Text, const std::vector<TResourceRef>& Refs,
                          const TUrlBase& Base, const std::string& Charset, bool AbsoluteOnly,
                          int Depth);
  TURLListMan& List() const;

  TJobUiDelegate* delegate_ = nullptr;
  TWebArchive* archive_ = nullptr;
  // The progress bar and where data last came from; the other figures are
  // the table's and the counters'.
  long long barPosition_ = 0;
  long long barMaximum_ = 0;
  bool rewriting_ = false;
  std::string currentURL_;
  bool starting_ = false;  // StartDownloads is running
  bool ended_ = false;     // aborted, or the download phase is over
  bool aborted_ = false;
  bool closed_ = false;
  // The browser page is being scanned: its anchors are taken along.
  bool takingLinks_ = false;
  std::unordered_set<std::uint64_t> completed_;
  std::unordered_set<std::uint64_t> credentialsGiven_;
  // Downloads waiting for the user's credentials (each holds a reference),
  // and the answers not yet taken, by download.
  struct TQuestion {
    TBSCB* Download = nullptr;
    bool Asking = true;  // the delegate has not returned yet
  };
  std::unordered_map<std::uint64_t, TQuestion> questions_;
  std::unordered_map<std::uint64_t, std::optional<TCredentials>> answers_;
  void CredentialsAnswered(std::uint64_t Download, std::optional<TCredentials> Answer);
  void DropQuestion(std::uint64_t Download);
  // Ends the binds that wait for an answer; each then completes, aborted.
  void AbortQuestions();
  std::unordered_map<std::string, std::string> partFiles_;  // by download address
  std::unordered_map<std::size_t, std::string> failures_;   // by entry
  std::unordered_map<std::size_t, std::string> mimeTypes_;  // as the servers said
  // The documents the browser handed over, not yet stored, by address.
  std::unordered_map<std::string, std::size_t> shownDocuments_;
};

}  // namespace leafstash
