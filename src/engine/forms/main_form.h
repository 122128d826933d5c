// The progress window of a save job, and the job's driver: downloads the
// queued entries of the URL table several at a time, stores them, scans the
// stored pages for their resources and, when no download is left, rewrites
// the links of the stored pages and closes itself.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "href_parser.h"
#include "ie_download.h"
#include "link_rewriter.h"
#include "url_list.h"
#include "url_utils.h"

#include <optional>

class QLabel;
class QMovie;
class QProgressBar;
class QPushButton;

namespace Ui {
class TMainForm;
}

namespace leafstash {

class TMainForm : public QDialog {
 public:
  // The three private messages; each is posted to the window itself.
  static constexpr int WM_JOB_CLOSE = 1224;
  static constexpr int WM_DOWNLOADS_DONE = 1234;
  static constexpr int WM_JOB_START = 1239;

  // Works on the process's URL table.
  explicit TMainForm(QWidget* Parent = nullptr);
  ~TMainForm() override;

  // Loads the animation clip and starts it.
  void StartAnimation();

  void StartJob();
  void StartNext();
  void IEDProgress(TBSCB* Sender, ULONG StatusCode, LPCWSTR StatusText,
                   const std::string& Speed);
  void IEDData(ULONG BufLength);
  void IEDComplete(TBSCB* Sender, TStream* Stream, HRESULT Result);
  HRESULT IEDAuthenticate(TBSCB* Sender, LPWSTR& UserName, LPWSTR& Password);
  void SaveCompleted(std::size_t Entry, TStream* Stream);
  void btnAbortClick();
  // Full: bar, both labels and the title; otherwise the title only (and an
  // empty status label).
  void UpdateProgress(bool Full);

  // Resource discovery and link rewriting.
  void ScanSavedPage(const std::string& Path);
  void GrabParserFoundHyperlink(THREFDocument* Sender, const std::string& Link);
  void RewritePages();
  void UpdateParserFoundHyperlink(THREFDocument* Sender, const std::string& Link);

  // The controls of the form.
  QLabel* Animate1;
  QProgressBar* pbGet;
  QLabel* lblStatus;
  QLabel* lblSpeed;
  QPushButton* btnAbort;

  TIEDownload IED;
  THREFParser GrabParser;
  THREFParser UpdateParser;

  std::int32_t ActiveCount = 0;
  std::uint64_t BytesReceived = 0;
  std::string SpeedText;
  std::vector<std::string> PageLines;
  std::vector<TLinkPair> LinkPairs;
  std::string CurrentPageURL;

 protected:
  bool event(QEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void reject() override {}  // only the job closes the window

 private:
  void Post(int Message);
  void StartDownloads();
  TURLListMan& List() const;

  std::unique_ptr<Ui::TMainForm> ui_;
  QMovie* movie_ = nullptr;
  bool started_ = false;
  bool starting_ = false;  // StartDownloads is running
  bool ended_ = false;     // aborted, or the download phase is over
  bool aborted_ = false;
  std::unordered_set<std::uint64_t> completed_;
  std::unordered_set<std::uint64_t> credentialsGiven_;
  std::optional<TUrlBase> currentBase_;  // CurrentPageURL taken apart
  std::string currentBaseFor_;
  std::string resolved_;  // reused for each link
};

// A page with a NUL byte is not a text page (a PDF or a picture shown by
// the browser): it is kept exactly as it came.
bool IsTextPage(const std::string& Data);

// The text with every line ended by CR LF (line ends CR LF, LF or CR).
std::string WithCrLfLines(std::string_view Text);

// The fragment of a link as the page writes it, "" when it has none: from
// the first "#" that does not begin a character reference ("&#38;"), with
// tabs and line breaks removed and character references kept as written.
std::string FragmentAsWritten(std::string_view Link);

// Position × 100 / Maximum, rounded to the nearest integer, halves to even.
int RoundedPercent(long long Position, long long Maximum);

// The title shown while a job runs: "37% " (never 100 while the bar has a
// maximum; "100%" when it has none), " Leafstash: " and the page title.
std::string JobTitle(long long Position, long long Maximum, const std::string& PageTitle);

}  // namespace leafstash
