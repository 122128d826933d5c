// The download phase of a save job.
#include "engine/job_driver.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <array>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "platform/files/file_utils.h"
#include "html/inert_page.h"
#include "engine/job_texts.h"
#include "core/process_values.h"
#include "html/text_utils.h"
#include "platform/urlmon/url_text.h"

namespace leafstash {
namespace {

// What a MIME type makes of an entry: its kind, and the extensions its
// local name may end with; the first is added when it has none of them, so
// that a browser reading the saved file knows its type.
struct TypeRule {
  std::string_view Mime;
  TURLKind Kind;
  std::array<std::string_view, 3> Known;
};
constexpr TypeRule kTypeRules[] = {
    {"text/html", TURLKind::Page, {".htm", ".html"}},
    {"image/gif", TURLKind::Picture, {".gif"}},
    {"image/jpeg", TURLKind::Picture, {".jpg", ".jpeg", ".jpe"}},
    {"image/jpg", TURLKind::Picture, {".jpg", ".jpeg", ".jpe"}},
    {"image/pjpeg", TURLKind::Picture, {".jpg", ".jpeg", ".jpe"}},
    {"image/png", TURLKind::Picture, {".png"}},
    {"image/svg+xml", TURLKind::Picture, {".svg"}},
    {"image/webp", TURLKind::Picture, {".webp"}},
    {"image/avif", TURLKind::Picture, {".avif"}},
    {"image/x-icon", TURLKind::Picture, {".ico"}},
    {"image/vnd.microsoft.icon", TURLKind::Picture, {".ico"}},
    {"image/bmp", TURLKind::Picture, {".bmp"}},
    {"text/css", TURLKind::Other, {".css"}},
    {"text/javascript", TURLKind::Other, {".js", ".mjs"}},
    {"application/javascript", TURLKind::Other, {".js", ".mjs"}},
    {"application/x-javascript", TURLKind::Other, {".js", ".mjs"}},
    {"application/ecmascript", TURLKind::Other, {".js", ".mjs"}},
    {"font/woff2", TURLKind::Other, {".woff2"}},
    {"application/font-woff2", TURLKind::Other, {".woff2"}},
    {"font/woff", TURLKind::Other, {".woff"}},
    {"application/font-woff", TURLKind::Other, {".woff"}},
    {"application/x-font-woff", TURLKind::Other, {".woff"}},
    {"font/ttf", TURLKind::Other, {".ttf"}},
    {"application/x-font-ttf", TURLKind::Other, {".ttf"}},
    {"font/sfnt", TURLKind::Other, {".ttf", ".otf"}},
    {"application/font-sfnt", TURLKind::Other, {".ttf", ".otf"}},
    {"font/otf", TURLKind::Other, {".otf"}},
    {"application/vnd.ms-fontobject", TURLKind::Other, {".eot"}},
    {"video/mp4", TURLKind::Other, {".mp4", ".m4v"}},
    {"video/webm", TURLKind::Other, {".webm"}},
    {"video/ogg", TURLKind::Other, {".ogv"}},
    {"audio/mpeg", TURLKind::Other, {".mp3"}},
    {"audio/ogg", TURLKind::Other, {".ogg", ".oga", ".opus"}},
    {"audio/wav", TURLKind::Other, {".wav"}},
    {"audio/x-wav", TURLKind::Other, {".wav"}},
    {"audio/mp4", TURLKind::Other, {".m4a"}},
    {"audio/webm", TURLKind::Other, {".weba", ".webm"}},
    {"audio/mp3", TURLKind::Other, {".mp3"}},
    {"audio/x-m4a", TURLKind::Other, {".m4a"}},
    {"image/x-png", TURLKind::Picture, {".png"}},
    {"text/vtt", TURLKind::Other, {".vtt"}},
    {"application/pdf", TURLKind::Other, {".pdf"}},
    {"application/json", TURLKind::Other, {".json"}},
};

bool HasExtension(std::string_view Name, const std::array<std::string_view, 3>& Extensions) {
  const std::size_t dot = Name.rfind('.');
  if (dot == std::string_view::npos) return false;
  for (std::string_view extension : Extensions)
    if (!extension.empty() && SameTextAscii(Name.substr(dot), extension)) return true;
  return false;
}

// A stored file read as a style sheet: served as one, or named as one by a
// server that says nothing better of it.
bool IsStyleSheet(std::string_view Mime, std::string_view LocalName) {
  if (SameTextAscii(Mime, "text/css")) return true;
  const bool vague = Mime.empty() || SameTextAscii(Mime, "text/plain") ||
                     SameTextAscii(Mime, "application/octet-stream");
  return vague && HasExtension(LocalName, {".css"});
}

}  // namespace

TJobDriver::TJobDriver(QObject* Parent) : QObject(Parent) {
  IED.SetOptions({TBindInfoOption::Asynchronous, TBindInfoOption::AsyncStorage,
                  TBindInfoOption::PullData, TBindInfoOption::Resynchronize});
  IED.SetMethod(TBindVerbOption::Get);
  IED.SetCodepage(TCodePageOption::Ansi);
  IED.TimeOut = 0;
  IED.AdditionalHeader = {"Content-Type: application/x-www-form-urlencoded"};
  IED.UserAgent = "Mozilla/4.0 (compatible; MSIE 5.0; Win32)";
  // Once the job is closed its table may be gone: what downloads still
  // report is let go (their part files go with the driver).
  IED.OnProgress = [this](TBSCB* sender, ULONG, ULONG, ULONG code, LPCWSTR text,
                          const std::string&, const std::string& speed, const std::string&) {
    if (!closed_) IEDProgress(sender, code, text, speed);
  };
  IED.OnData = [this](TBSCB*, unsigned char*&, ULONG& length) {
    if (!closed_) IEDData(length);
  };
  IED.OnComplete = [this](TBSCB* sender, TStream* stream, HRESULT result) {
    if (closed_) return DropQuestion(sender->Id());
    IEDComplete(sender, stream, result);
  };
  IED.OnAuthenticate = [this](TBSCB* sender, HWND&, LPWSTR& user, LPWSTR& password) {
    return closed_ || aborted_ ? S_OK : IEDAuthenticate(sender, user, password);
  };
  IED.OnBeginningTransaction = [this](TBSCB* sender, LPCWSTR url, LPCWSTR, DWORD,
                                      LPWSTR& headers) {
    return closed_ ? S_OK : IEDBeginningTransaction(sender, url, headers);
  };
  // A part file is always new: whatever is in it is started over.
  IED.OnResume = [](TBSCB*, const std::string&, DWORD& Action) { Action = 1; };
}

TJobDriver::~TJobDriver() {
  for (const auto& [url, part] : partFiles_) ::unlink(part.c_str());
  AbortQuestions();
  for (auto& [id, question] : questions_) question.Download->Release();
}

TURLListMan& TJobDriver::List() const { return *Process().URLList; }

void TJobDriver::Post(int Message) {
  QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(Message)));
}

void TJobDriver::Start() { Post(WM_JOB_START); }

bool TJobDriver::event(QEvent* Event) {
  switch (static_cast<int>(Event->type())) {
    case WM_JOB_START:
      emit Starting();
      StartJob();
      return true;
    case WM_DOWNLOADS_DONE:
      if (aborted_) return true;  // the user's Abort came first: no rewriting
      ended_ = true;
      IED.Cancel();
      RewritePages();
      return true;
    case WM_JOB_CLOSE:
      if (closed_) return true;
      closed_ = true;
      emit JobClosed();
      return true;
    default:
      return QObject::event(Event);
  }
}

void TJobDriver::StartJob() {
  ActiveCount = 0;
  BytesReceived = 0;
  barPosition_ = 0;
  barMaximum_ = static_cast<long long>(List().CountTopLevel());
  const TSettings& settings = Process().Settings;
  if (settings.AutoSkip()) IED.TimeOut = settings.SkipSeconds() * 1000;
  // The browser's own name, when it handed it over, so that servers answer
  // as they answered the browser.
  if (!Process().Handover.UserAgent.empty()) IED.UserAgent = Process().Handover.UserAgent;
  IED.FirstPartyUrl = Process().PageURL;
  IED.Recorder = archive_;
  shownDocuments_.clear();
  if (Process().ExtraSettings.SaveAsShown()) {
    const std::vector<TShownDocument>& documents = Process().Handover.Documents;
    for (std::size_t i = 0; i < documents.size(); ++i)
      shownDocuments_.emplace(EncodeAddress(ResolveUrl("", StripFragment(documents[i].Url))), i);
  }
  StartNext();
}

// Starts queued entries in table order while slots are free, each into a
// new part file. The count is raised before the download starts, which may
// complete inside the call.
void TJobDriver::StartDownloads() {
  if (starting_ || ended_) return;
  starting_ = true;
  const std::int32_t threads = Process().Settings.MaxThreads();
  const std::int32_t limit = threads > 0 ? threads : 5;  // the form's default
  while (ActiveCount < limit && !ended_) {
    const auto next = List().FindFirstInState(TURLState::Queued);
    if (!next) break;
    List().SetState(*next, TURLState::Downloading);
    // A page or frame the browser handed over as it shows it is stored as
    // that, not downloaded.
    if (StoreShownDocument(*next)) {
      emit EntryFinished(*next);
      continue;
    }
    const std::string url = List().Item(*next).EntryURL;
    std::string part;
    try {
      part = CreatePartFile(Process().DestPath);
    } catch (const TFileError& e) {
      Fail(*next, std::strerror(e.Errno()));
      emit EntryFinished(*next);
      continue;
    }
    partFiles_[url] = std::move(part);
    ++ActiveCount;
    IED.Navigation = List().IsNavigation(*next);
    IED.DownloadToFile(url, partFiles_[url]);
  }
  starting_ = false;
}

void TJobDriver::StartNext() {
  if (starting_ || ended_) return;
  StartDownloads();
  if (ended_) return;
  if (ActiveCount > 0)
    UpdateProgress(true);
  else
    Post(WM_DOWNLOADS_DONE);
}

void TJobDriver::IEDProgress(TBSCB* Sender, ULONG StatusCode, LPCWSTR StatusText,
                             const std::string& Speed) {
  if (!Speed.empty()) SpeedText = Speed;
  if (StatusCode == BINDSTATUS_BEGINDOWNLOADDATA && StatusText) currentURL_ = WideToAnsi(StatusText);
  if (StatusCode != BINDSTATUS_REDIRECTING && StatusCode != BINDSTATUS_MIMETYPEAVAILABLE) return;
  const auto index = List().FindByURL(WideToAnsi(Sender->Url()));
  if (!index) return;
  const std::string text = WideToAnsi(StatusText);
  if (StatusCode == BINDSTATUS_REDIRECTING) {
    List().SetActualURL(*index, text);
    List().Rename(*index, GetLastSegment(text));
    return;
  }
  ApplyMimeType(*index, text);
}

void TJobDriver::ApplyMimeType(std::size_t Index, const std::string& Mime) {
  mimeTypes_[Index] = Mime;
  for (const TypeRule& rule : kTypeRules) {
    if (!SameTextAscii(Mime, rule.Mime)) continue;
    List().SetKind(Index, rule.Kind);
    if (!HasExtension(List().Item(Index).LocalName, rule.Known))
      List().AddExtension(Index, rule.Known[0]);
    return;
  }
}

void TJobDriver::IEDData(ULONG BufLength) {
  BytesReceived += BufLength;
  UpdateProgress(true);
}

void TJobDriver::IEDComplete(TBSCB* Sender, TStream*, HRESULT Result) {
  // A download can report its end more than once; only the first counts.
  if (!completed_.insert(Sender->Id()).second) return;
  DropQuestion(Sender->Id());
  answers_.erase(Sender->Id());
  --ActiveCount;
  StartDownloads();
  const std::string url = WideToAnsi(Sender->Url());
  std::string part;
  if (auto it = partFiles_.find(url); it != partFiles_.end()) {
    part = std::move(it->second);
    partFiles_.erase(it);
  }
  if (const auto index = List().FindByURL(url)) {
    List().SetResponseCode(*index, static_cast<std::int32_t>(Sender->ResponseCode()));
    if (List().Item(*index).Referrer.empty()) UpdateProgress(true);
    // An error status is not a page of the site, even when a body came.
    if (Result != S_OK || Sender->ResponseCode() >= 400) {
      Fail(*index, DescribeFailure(Result, Sender->ResponseCode()));
    } else {
      SaveCompleted(*index, part);
      part.clear();  // moved into place, or removed
    }
    emit EntryFinished(*index);
  }
  if (!part.empty()) ::unlink(part.c_str());
  IED.CancelDownload(Sender);
  StartNext();
}

void TJobDriver::Fail(std::size_t Entry, std::string Reason) {
  List().SetState(Entry, TURLState::Failed);
  failures_[Entry] = std::move(Reason);
}

std::string TJobDriver::FailureReason(std::size_t Index) const {
  const auto it = failures_.find(Index);
  return it == failures_.end() ? std::string() : it->second;
}

void TJobDriver::SaveCompleted(std::size_t Entry, const std::string& PartFile) {
  const std::string path = Process().DestPath + List().Item(Entry).LocalName;
  // The rename replaces a file or a symbolic link of that name, never
  // following it; a file that is there stays whole until then.
  if (::rename(PartFile.c_str(), path.c_str()) != 0) {
    Fail(Entry, std::strerror(errno));
    ::unlink(PartFile.c_str());
    return;
  }
  Stored(Entry, path);
}

bool TJobDriver::StoreShownDocument(std::size_t Entry) {
  const auto shown = shownDocuments_.find(List().Item(Entry).EntryURL);
  if (shown == shownDocuments_.end()) return false;
  // Stored once, and no longer held once stored; nothing in the copy runs
  // or reloads, so that it stays as the user saw it.
  if (archive_)
    archive_->AddResource(List().Item(Entry).EntryURL, "text/html; charset=utf-8",
                          Process().Handover.Documents[shown->second].Html);
  std::string html = InertPage(Process().Handover.Documents[shown->second].Html);
  Process().Handover.Documents[shown->second].Html = std::string();
  shownDocuments_.erase(shown);
  // As if a server had sent it as a page.
  ApplyMimeType(Entry, "text/html");
  List().SetResponseCode(Entry, 200);
  const std::string path = Process().DestPath + List().Item(Entry).LocalName;
  try {
    WriteFileAtomically(path, html, 0644, false);
  } catch (const TFileError& e) {
    Fail(Entry, std::strerror(e.Errno()));
    return true;
  }
  Stored(Entry, path);
  return true;
}

void TJobDriver::Stored(std::size_t Entry, const std::string& Path) {
  const TURLEntry& entry = List().Item(Entry);
  if (entry.Kind != TURLKind::Page) {
    // A style sheet is scanned like a page and rewritten with the pages.
    const auto mime = mimeTypes_.find(Entry);
    const bool sheet =
        !ended_ && IsStyleSheet(mime == mimeTypes_.end() ? "" : mime->second, entry.LocalName);
    if (sheet) CurrentPageURL = entry.ActualURL;
    List().SetState(Entry, sheet && ScanSavedStyleSheet(Path) ? TURLState::AwaitingRewrite
                                                              : TURLState::Done);
    return;
  }
  // A page that comes after the end of the phase is stored, never scanned
  // nor rewritten: it stays unfinished, so a later job fetches it again.
  if (ended_) {
    List().SetState(Entry, TURLState::AwaitingRewrite);
    return;
  }
  CurrentPageURL = entry.ActualURL;
  takingLinks_ = TakeLinks != TLinkChoice::None && List().PageEntry() == Entry;
  // Pages that are not text, or too large to scan, are kept as they came.
  const bool scanned = ScanSavedPage(Path);
  takingLinks_ = false;
  List().SetState(Entry, scanned ? TURLState::AwaitingRewrite : TURLState::Done);
}

void TJobDriver::Abort() {
  // Once the downloads are over the rewrite has run to its end: there is
  // nothing left to stop.
  if (ended_ && !aborted_) return;
  ended_ = aborted_ = true;
  IED.Cancel();
  // A download waiting for an answer has no transfer to notice the cancel.
  AbortQuestions();
  Post(WM_JOB_CLOSE);
}

void TJobDriver::UpdateProgress(bool Full) {
  if (Full) {
    const std::size_t total = List().Count();
    barMaximum_ = total == 0 ? 1 : static_cast<long long>(total);
    barPosition_ = static_cast<long long>(Figures().Done);
  }
  emit ProgressChanged(Full);
}

TJobFigures TJobDriver::Figures() const {
  const TURLListMan& list = List();
  TJobFigures f;
  f.Total = list.Count();
  f.Done = list.CountInState(TURLState::AwaitingRewrite) + list.CountInState(TURLState::Done);
  f.Queued = list.CountInState(TURLState::Queued);
  f.BytesReceived = BytesReceived;
  f.SpeedText = SpeedText;
  f.CurrentURL = currentURL_;
  f.BarPosition = barPosition_;
  f.BarMaximum = barMaximum_;
  f.Rewriting = rewriting_;
  return f;
}

HRESULT TJobDriver::IEDBeginningTransaction(TBSCB* Sender, LPCWSTR Url,
                                            LPWSTR& AdditionalHeaders) {
  // A resource goes with the page or sheet it was found in; a frame or a
  // linked page with the browser page; the page itself with none.
  const auto index = List().FindByURL(WideToAnsi(Sender->Url()));
  if (!index || List().PageEntry() == index) return S_OK;
  const TURLEntry& entry = List().Item(*index);
  const std::string referrer =
      ReferrerFor(entry.Referrer.empty() ? Process().PageURL : entry.Referrer, WideToAnsi(Url));
  if (referrer.empty()) return S_OK;
  const std::string headers = WideToAnsi(AdditionalHeaders) + "Referer: " + referrer + "\r\n";
  AdditionalHeaders = CoTaskStrDup(headers);
  return S_OK;
}

HRESULT TJobDriver::IEDAuthenticate(TBSCB* Sender, LPWSTR& UserName, LPWSTR& Password) {
  const TSettings& settings = Process().Settings;
  const std::string user = settings.UserName(), password = settings.Password();
  const std::string asking = WideToAnsi(Sender->CurrentUrl());
  // Stored credentials go, once per download, only to the page's own server.
  if (!user.empty() && !password.empty() && OriginOf(asking) == OriginOf(Process().PageURL) &&
      credentialsGiven_.insert(Sender->Id()).second) {
    UserName = CoTaskStrDup(user);
    Password = CoTaskStrDup(password);
    return S_OK;
  }
  // The user's answer to this download's question, once it has come.
  if (auto answer = answers_.find(Sender->Id()); answer != answers_.end()) {
    const std::optional<TCredentials> given = std::move(answer->second);
    answers_.erase(answer);
    if (given) {
      UserName = CoTaskStrDup(given->UserName);
      Password = CoTaskStrDup(given->Password);
    }
    return S_OK;
  }
  if (!delegate_) return S_OK;
  // The user is asked about the server that asks, which after a
  // redirection may not be the one the download started at. The download
  // waits for the answer; the others go on.
  const std::uint64_t id = Sender->Id();
  Sender->AddRef();
  questions_[id] = {Sender, true};
  delegate_->AskCredentials(asking, [self = QPointer<TJobDriver>(this),
                                     id](std::optional<TCredentials> Answer) {
    if (self) self->CredentialsAnswered(id, std::move(Answer));
  });
  const auto question = questions_.find(id);
  if (question == questions_.end()) return S_OK;  // the download ended meanwhile
  if (closed_ || aborted_) {
    // Stopped while the terminal asked: no credentials, and the job is over.
    DropQuestion(id);
    answers_.erase(id);
    return S_OK;
  }
  if (answers_.count(id)) {
    // Answered at once (the terminal asks while the job waits).
    DropQuestion(id);
    return IEDAuthenticate(Sender, UserName, Password);
  }
  question->second.Asking = false;
  return E_PENDING;
}

void TJobDriver::CredentialsAnswered(std::uint64_t Download, std::optional<TCredentials> Answer) {
  const auto question = questions_.find(Download);
  if (question == questions_.end()) return;  // the download is over
  answers_[Download] = std::move(Answer);
  if (question->second.Asking) return;  // IEDAuthenticate takes it
  TBSCB* download = question->second.Download;
  questions_.erase(question);
  download->ResumeAfterCredentials();
  download->Release();
}

void TJobDriver::AbortQuestions() {
  for (auto& [id, question] : questions_)
    if (!question.Asking) question.Download->AbortBinding();
}

void TJobDriver::DropQuestion(std::uint64_t Download) {
  const auto question = questions_.find(Download);
  if (question == questions_.end()) return;
  TBSCB* download = question->second.Download;
  questions_.erase(question);
  download->Release();
}

}  // namespace leafstash
