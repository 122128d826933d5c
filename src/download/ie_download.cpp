#include "download/ie_download.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

#include "platform/files/file_utils.h"
#include "download/progress_text.h"
#include "platform/registry/registry.h"
#include "html/text_utils.h"

namespace leafstash {
namespace {

constexpr const char* kInternetSettingsKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\";
constexpr ULONG kBindInfoSize = 84;
// The inactivity timer starts again only when this much has arrived since
// it last did: a server that trickles a byte at a time is as good as
// stalled and must not hold its slot for ever.
constexpr std::uint64_t kLivelyBytes = 1024;

DWORD CodePageNumberOf(TCodePageOption Option) {
  switch (Option) {
    case TCodePageOption::Ansi: return 0;
    case TCodePageOption::OEM: return 1;
    case TCodePageOption::Mac: return 2;
    case TCodePageOption::ThreadsAnsi: return 3;
    case TCodePageOption::Symbol: return 42;
    case TCodePageOption::UTF7: return 65000;
    case TCodePageOption::UTF8: return 65001;
  }
  return 0;
}

// The first byte of a "Content-Range: bytes FIRST-LAST/LENGTH" answer.
std::optional<std::int64_t> ContentRangeStart(std::string_view Headers) {
  for (std::size_t at = 0; at < Headers.size();) {
    std::size_t end = Headers.find('\n', at);
    if (end == std::string_view::npos) end = Headers.size();
    const std::string_view line = TrimView(Headers.substr(at, end - at));
    at = end + 1;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos ||
        !SameTextAscii(TrimView(line.substr(0, colon)), "content-range"))
      continue;
    std::string_view value = TrimView(line.substr(colon + 1));
    if (value.size() < 6 || !SameTextAscii(value.substr(0, 6), "bytes ")) return std::nullopt;
    value.remove_prefix(6);
    std::int64_t first = 0;
    std::size_t k = 0;
    while (k < value.size() && IsAsciiDigit(static_cast<unsigned char>(value[k])))
      first = first * 10 + (value[k++] - '0');
    if (k == 0 || k >= value.size() || value[k] != '-') return std::nullopt;
    return first;
  }
  return std::nullopt;
}

}  // namespace

// ---------------------------------------------------------------------------
// TIEDownload

TIEDownload::TIEDownload() : references_(std::make_shared<std::atomic<ULONG>>(1)) {
  SetOptions({TBindInfoOption::Asynchronous, TBindInfoOption::AsyncStorage,
              TBindInfoOption::GetNewestVersion, TBindInfoOption::NoWriteCache,
              TBindInfoOption::PullData});
  UserAgent = RegistryReadText(TRegistryRoot::CurrentUser, kInternetSettingsKey, "User Agent")
                  .value_or(std::string());
}

TIEDownload::~TIEDownload() {
  std::vector<TBSCB*> active;
  active.swap(active_);
  for (TBSCB* download : active) download->Detach();
}

void TIEDownload::SetCodepage(TCodePageOption Value) {
  codepage_ = Value;
  codePageNumber_ = CodePageNumberOf(Value);
}

void TIEDownload::SetMethod(TBindVerbOption Value) {
  method_ = Value;
  bindVerb_ = static_cast<DWORD>(Value);
}

void TIEDownload::SetOptions(const TBindInfoOptions& Value) {
  options_ = Value;
  bindFlags_ = Value.Flags();
}

void TIEDownload::Download(const std::string& Url) { Start(Url, ""); }

void TIEDownload::DownloadToFile(const std::string& Url, const std::string& FileName) {
  Start(Url, FileName);
}

void TIEDownload::Start(const std::string& Url, const std::string& FileName) {
  cancelled_ = false;
  TInfo info;
  info.Owner = this;
  info.Url = AnsiToWide(Url);
  info.TimeOut = TimeOut;
  info.FileName = FileName;
  info.PostData = PostData;
  info.PutFileName = PutFileName;
  info.AdditionalHeader = AdditionalHeader;
  info.Password = Password;
  info.Username = Username;
  info.CustomVerb = CustomVerb;
  info.ExtraInfo = ExtraInfo;
  info.Descriptor = Security.Descriptor;
  info.UserAgent = UserAgent;
  info.FirstPartyUrl = FirstPartyUrl;
  info.Navigation = Navigation;
  info.Recorder = Recorder;
  info.RangeBegin = Range.RangeBegin;
  info.RangeEnd = Range.RangeEnd;
  info.InheritHandle = Security.InheritHandle;
  info.BindVerb = bindVerb_;
  info.BindFlags = bindFlags_;
  info.BindInfoFlags = 0;
  info.CodePage = codePageNumber_;
  info.MaxMemoryBody = MaxMemoryBody;

  auto* download = new TBSCB(this, std::move(info));
  download->StartBind();
  // A synchronous bind is over; so is one that stopped inside the call.
  if (!(bindFlags_ & BINDF_ASYNCHRONOUS) || download->stopped_)
    download->Detach();
  else
    active_.push_back(download);
}

void TIEDownload::CancelDownload(TBSCB* Download) {
  if (Download) Download->cancelled_ = true;
}

void TIEDownload::Finished(TBSCB* Download) {
  auto it = std::find(active_.begin(), active_.end(), Download);
  if (it == active_.end()) return;  // not listed yet: Start lets it go
  active_.erase(it);
  Download->Detach();
}

// ---------------------------------------------------------------------------
// TBSCB

TBSCB::TBSCB(TIEDownload* Owner, TInfo Info)
    : owner_(Owner), info_(std::move(Info)), sharedReferences_(Owner->references_) {
  static std::uint64_t lastId = 0;
  id_ = ++lastId;
  currentUrl_ = info_.Url;
  if (!IntoFile()) memory_ = std::make_unique<TMemoryStream>();
}

TBSCB::~TBSCB() { ReleaseBody(); }

void TBSCB::StartBind() {
  cancelled_ = false;
  binding_.Reset();
  moniker_.Reset();
  context_.Reset();
  ReleaseBody();
  bytesRead_ = 0;

  const std::u16string url = info_.Url;
  HRESULT hr = CreateURLMoniker(nullptr, url.c_str(), moniker_.Put());
  if (FAILED(hr)) return Complete(nullptr, hr);
  hr = CreateAsyncBindCtx(0, this, nullptr, context_.Put());
  if (FAILED(hr)) return Complete(nullptr, hr);
  if (IsValidURL(context_.Get(), url.c_str(), 0) != S_OK) return Complete(nullptr, MK_E_SYNTAX);
  void* unused = nullptr;
  hr = moniker_->BindToStorage(context_.Get(), nullptr, IID_IStream, &unused);
  if (hr != S_OK && hr != MK_S_ASYNCHRONOUS) Complete(nullptr, hr);
}

void TBSCB::Detach() {
  owner_ = nullptr;
  if (timer_) timer_->stop();
  if (!stopped_) AbortBinding();
  file_.reset();
  if (stopped_ || !binding_) {
    // No bind will report its end any more: let go of its objects now.
    binding_.Reset();
    data_.Reset();
    context_.Reset();
    moniker_.Reset();
  }
  if (--alive_ == 0) delete this;
}

bool TBSCB::Cancelled() const { return cancelled_ || !owner_ || owner_->cancelled_; }

void TBSCB::Complete(TStream* Stream, HRESULT Result) {
  if (owner_ && owner_->OnComplete) owner_->OnComplete(this, Stream, Result);
}

void TBSCB::AbortBinding() {
  if (binding_) binding_->Abort();
}

void TBSCB::ReleaseBody() {
  GlobalFree(body_);
  body_ = nullptr;
  bodySize_ = 0;
}

std::uint64_t TBSCB::ElapsedMs() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start_)
                                        .count());
}

HRESULT TBSCB::QueryInterface(REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  if (Riid == IID_IUnknown || Riid == IID_IHttpSecurity)
    *Object = static_cast<IHttpSecurity*>(this);
  else if (Riid == IID_IAuthenticate)
    *Object = static_cast<IAuthenticate*>(this);
  else if (Riid == IID_IHttpNegotiate)
    *Object = static_cast<IHttpNegotiate*>(this);
  else if (Riid == IID_IBindStatusCallback)
    *Object = static_cast<IBindStatusCallback*>(this);
  else if (Riid == IID_IRequestContext)
    *Object = static_cast<IRequestContext*>(this);
  else if (Riid == IID_IExchangeRecording && info_.Recorder)
    *Object = static_cast<IExchangeRecording*>(this);
  else {
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

// The returned count is the component's shared counter; the object itself
// lives until the component and the platform have both let go of it.
ULONG TBSCB::AddRef() {
  ++alive_;
  return ++*sharedReferences_;
}

ULONG TBSCB::Release() {
  const ULONG shared = --*sharedReferences_;
  if (--alive_ == 0) delete this;
  return shared;
}

HRESULT TBSCB::OnStartBinding(DWORD, IBinding* Binding) {
  if (Cancelled()) {
    Complete(nullptr, E_ABORT);
    return E_FAIL;
  }
  binding_ = Binding;
  return S_OK;
}

HRESULT TBSCB::GetPriority(LONG* Priority) {
  if (Cancelled()) AbortBinding();
  if (Priority) *Priority = THREAD_PRIORITY_NORMAL;
  return S_OK;
}

HRESULT TBSCB::GetBindInfo(DWORD* BindFlags, BINDINFO* Info) {
  if (!BindFlags || !Info) return E_POINTER;
  *BindFlags = info_.BindFlags;
  Info->cbSize = kBindInfoSize;
  Info->dwBindVerb = redirected_ ? BINDVERB_GET : info_.BindVerb;
  Info->grfBindInfoF = info_.BindInfoFlags;
  Info->dwCodePage = info_.CodePage;
  Info->securityAttributes.nLength = 12;
  Info->securityAttributes.lpSecurityDescriptor =
      info_.Descriptor.empty() ? nullptr : info_.Descriptor.c_str();
  Info->securityAttributes.bInheritHandle = info_.InheritHandle ? -1 : 0;
  Info->szExtraInfo = CoTaskStrDup(info_.ExtraInfo);

  if (info_.BindVerb == BINDVERB_PUT) {
    std::optional<std::string> file;
    try {
      file = ReadFileNoFollow(info_.PutFileName);
    } catch (const TFileError& e) {
      return HResultFromErrno(e.Errno());
    }
    if (!file) return HResultFromErrno(ENOENT);
    ReleaseBody();
    body_ = GlobalAlloc(file->size());
    std::memcpy(body_, file->data(), file->size());
    bodySize_ = file->size();
  } else if (info_.BindVerb == BINDVERB_POST) {
    ReleaseBody();
    bodySize_ = info_.PostData.size() + 1;  // the body ends with a zero byte
    body_ = GlobalAlloc(bodySize_);
    std::memcpy(body_, info_.PostData.data(), info_.PostData.size());
  }
  Info->szCustomVerb = !info_.CustomVerb.empty() && Info->dwBindVerb == BINDVERB_CUSTOM
                           ? CoTaskStrDup(info_.CustomVerb)
                           : nullptr;
  Info->cbstgmedData = static_cast<DWORD>(bodySize_);
  Info->stgmedData.tymed = Info->dwBindVerb == BINDVERB_GET ? TYMED_NULL : TYMED_HGLOBAL;
  Info->stgmedData.hGlobal = body_;
  // The platform releases the medium through this object, which keeps the
  // block until it goes itself.
  Info->stgmedData.pUnkForRelease = static_cast<IBindStatusCallback*>(this);
  AddRef();
  return S_OK;
}

HRESULT TBSCB::GetRequestContext(LPWSTR* FirstPartyUrl, BOOL* Navigation) {
  if (FirstPartyUrl) *FirstPartyUrl = CoTaskStrDup(info_.FirstPartyUrl);
  if (Navigation) *Navigation = info_.Navigation ? 1 : 0;
  return S_OK;
}

HRESULT TBSCB::BeginningTransaction(LPCWSTR Url, LPCWSTR Headers, DWORD Reserved,
                                    LPWSTR* AdditionalHeaders) {
  if (Cancelled()) {
    Complete(nullptr, E_ABORT);
    return E_ABORT;
  }
  std::string text;
  if (!info_.UserAgent.empty()) text += "User-agent: " + info_.UserAgent + "\r\n";
  if (IntoFile()) {
    struct stat file;
    if (::lstat(info_.FileName.c_str(), &file) != 0) {
      info_.RangeBegin = info_.RangeEnd = 0;
    } else {
      info_.RangeEnd = 0;
      DWORD action = 0;
      if (owner_ && owner_->OnResume) owner_->OnResume(this, info_.FileName, action);
      if (action == 1)
        info_.RangeBegin = 0;
      else if (action == 2)
        return E_ABORT;  // skipped
      else
        info_.RangeBegin = file.st_size;
    }
  }
  if (info_.RangeBegin != 0 || info_.RangeEnd != 0) {
    text += "Range: bytes=" + std::to_string(info_.RangeBegin) + "-";
    if (info_.RangeEnd != 0) text += std::to_string(info_.RangeEnd);
    text += "\r\n";
  }
  if (!info_.AdditionalHeader.empty() && !info_.AdditionalHeader.front().empty())
    for (const std::string& line : info_.AdditionalHeader) text += line + "\r\n";

  LPWSTR headers = CoTaskStrDup(text, true);
  HRESULT result = S_OK;
  if (owner_ && owner_->OnBeginningTransaction) {
    LPWSTR given = headers;
    result = owner_->OnBeginningTransaction(this, Url, Headers, Reserved, headers);
    if (headers != given) CoTaskMemFree(given);
  }
  if (AdditionalHeaders)
    *AdditionalHeaders = headers;
  else
    CoTaskMemFree(headers);

  // A time-out of 0 means no timer at all.
  if (info_.TimeOut > 0) {
    if (!timer_) {
      timer_ = std::make_unique<QTimer>();
      timer_->setSingleShot(true);
      QObject::connect(timer_.get(), &QTimer::timeout, [this] { TimerFired(); });
    }
    timer_->start(info_.TimeOut);
  }
  sizeAtRestart_ = 0;
  timedOut_ = false;
  return result;
}

void TBSCB::TimerFired() {
  timedOut_ = true;
  AbortBinding();
}

HRESULT TBSCB::OnResponse(DWORD ResponseCode, LPCWSTR ResponseHeaders, LPCWSTR RequestHeaders,
                          LPWSTR* AdditionalRequestHeaders) {
  responseCode_ = ResponseCode;
  if (auto info = QueryAs<IWinInetHttpInfo>(binding_.Get(), IID_IWinInetHttpInfo)) {
    std::uint64_t length = 0;
    DWORD size = sizeof length;
    if (info->QueryInfo(HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                        nullptr, nullptr) == S_OK &&
        length == 0) {
      Complete(nullptr, S_OK);
      return E_ABORT;
    }
  }
  if ((ResponseCode >= 400 && ResponseCode <= 499) || Cancelled()) {
    Complete(nullptr, E_ABORT);
    return E_ABORT;
  }
  start_ = std::chrono::steady_clock::now();
  started_ = true;
  HRESULT result = S_OK;
  if (owner_ && owner_->OnResponse) {
    LPWSTR extra = nullptr;
    result = owner_->OnResponse(this, ResponseCode, ResponseHeaders, RequestHeaders, extra);
    if (AdditionalRequestHeaders)
      *AdditionalRequestHeaders = extra;
    else
      CoTaskMemFree(extra);
  }
  if (IntoFile()) {
    // Data is appended only to a partial answer that starts where the file
    // ends; anything else replaces the file.
    bool append = false;
    if (info_.RangeBegin != 0 && ResponseCode == 206) {
      const auto first = ContentRangeStart(WideToAnsi(ResponseHeaders));
      append = first && *first == info_.RangeBegin;
    }
    if (!append) info_.RangeBegin = 0;
    HRESULT error = S_OK;
    file_ = TFileStream::Open(info_.FileName,
                              append ? TFileStream::Mode::OpenToAppend : TFileStream::Mode::CreateAnew,
                              error);
    if (!file_) {
      failure_ = error;
      return E_ABORT;
    }
  }
  return result;
}

HRESULT TBSCB::OnProgress(ULONG Progress, ULONG ProgressMax, ULONG StatusCode,
                          LPCWSTR StatusText) {
  if (Cancelled()) {
    AbortBinding();
    return S_OK;
  }
  TProgressTexts texts;
  if (StatusCode == BINDSTATUS_DOWNLOADINGDATA && owner_->OnProgress)
    texts = MakeProgressTexts(started_, ElapsedMs(), Progress, ProgressMax);
  redirected_ = StatusCode == BINDSTATUS_REDIRECTING;
  if (redirected_ && StatusText) currentUrl_ = StatusText;
  if (owner_->OnProgress)
    owner_->OnProgress(this, Progress, ProgressMax, StatusCode, StatusText, texts.ElapsedTime,
                       texts.Speed, texts.EstimatedTime);
  return S_OK;
}

HRESULT TBSCB::OnDataAvailable(DWORD Flags, std::uint64_t Size, FORMATETC*, STGMEDIUM* Medium) {
  if (Cancelled()) {
    AbortBinding();
    return S_OK;
  }
  if (timer_ && info_.TimeOut > 0 && Size >= sizeAtRestart_ + kLivelyBytes) {
    timer_->start(info_.TimeOut);
    sizeAtRestart_ = Size;
  }
  if ((Flags & BSCF_FIRSTDATANOTIFICATION) && !data_ && Medium && Medium->tymed == TYMED_ISTREAM)
    data_ = Medium->pstm;
  if (!data_ || Size <= bytesRead_ || failure_ != S_OK) return S_OK;
  // A scheme without an HTTP response gives data before any file is open.
  if (IntoFile() && !file_) {
    HRESULT error = S_OK;
    file_ = TFileStream::Open(info_.FileName, TFileStream::Mode::CreateAnew, error);
    if (!file_) {
      failure_ = error;
      AbortBinding();
      return S_OK;
    }
  }
  const std::uint64_t available = Size - bytesRead_;
  const ULONG ask = available > 0x7FFFFFFFull ? 0x7FFFFFFFu : static_cast<ULONG>(available);
  while (true) {
    auto* buffer = static_cast<unsigned char*>(std::calloc(ask + 1, 1));
    if (!buffer) {
      failure_ = E_OUTOFMEMORY;
      AbortBinding();
      return S_OK;
    }
    ULONG got = 0;
    data_->Read(buffer, ask, &got);
    if (got == 0) {
      std::free(buffer);
      break;
    }
    ULONG length = got;
    if (owner_ && owner_->OnData) {
      unsigned char* given = buffer;
      owner_->OnData(this, buffer, length);
      if (buffer != given) {
        // A replacement comes from the task allocator; copy it out.
        auto* copy = static_cast<unsigned char*>(std::malloc(length + 1));
        if (copy && length) std::memcpy(copy, buffer, length);
        CoTaskMemFree(buffer);
        buffer = copy;
      }
    }
    TStream* target = IntoFile() ? static_cast<TStream*>(file_.get()) : memory_.get();
    if (!IntoFile() && memory_->Size() + length > static_cast<std::int64_t>(info_.MaxMemoryBody)) {
      failure_ = INET_E_DOWNLOAD_FAILURE;  // too large to keep in memory
    } else if (target && length && target->Write(buffer, length) != length) {
      failure_ = HResultFromErrno(errno);
    }
    bytesRead_ += got;
    std::free(buffer);
    if (failure_ != S_OK) {
      AbortBinding();
      return S_OK;
    }
    if (Cancelled()) break;
  }
  return S_OK;
}

HRESULT TBSCB::OnStopBinding(HRESULT Result, LPCWSTR) {
  stopped_ = true;
  if (timer_) timer_->stop();
  if (failure_ != S_OK)
    Result = failure_;
  else if (timedOut_)
    Result = INET_E_CONNECTION_TIMEOUT;
  if (IntoFile()) {
    if (file_) {
      file_->SetPosition(0);
      Complete(file_.get(), Result);
    } else {
      Complete(nullptr, Result);
    }
    file_.reset();
  } else {
    Complete(memory_.get(), Result);
  }
  // The bind context holds this object: letting go of it here breaks the
  // circle, so the object can go once everyone has released it.
  binding_.Reset();
  data_.Reset();
  context_.Reset();
  moniker_.Reset();
  if (owner_ && (info_.BindFlags & BINDF_ASYNCHRONOUS)) owner_->Finished(this);
  return S_OK;
}

HRESULT TBSCB::Authenticate(HWND* Window, LPWSTR* UserName, LPWSTR* Password) {
  if (owner_ && owner_->OnAuthenticate) {
    HWND window = Window ? *Window : 0;
    LPWSTR user = nullptr, password = nullptr;
    // The time the user takes to answer a prompt is not inactivity.
    bool timing = timer_ && timer_->isActive();
    if (timing) timer_->stop();
    const HRESULT result = owner_->OnAuthenticate(this, window, user, password);
    if (result == E_PENDING) {
      awaitingCredentials_ = awaitingCredentials_ || timing;
      timing = false;
    }
    if (timing && timer_ && owner_ && !stopped_) timer_->start(info_.TimeOut);
    if (Window) *Window = window;
    if (UserName) *UserName = user; else CoTaskMemFree(user);
    if (Password) *Password = password; else CoTaskMemFree(password);
    return result;
  }
  if (UserName) *UserName = CoTaskStrDup(info_.Username);
  if (Password) *Password = CoTaskStrDup(info_.Password);
  return S_OK;
}

void TBSCB::ResumeAfterCredentials() {
  if (stopped_ || !binding_) return;
  if (awaitingCredentials_ && timer_ && owner_) timer_->start(info_.TimeOut);
  awaitingCredentials_ = false;
  binding_->Resume();
}

HRESULT TBSCB::GetWindow(REFIID Reason, HWND* Window) {
  if (owner_ && owner_->OnGetWindow && Window) return owner_->OnGetWindow(this, Reason, *Window);
  return S_OK;
}

// A certificate problem is accepted only by a handler that says so.
HRESULT TBSCB::OnSecurityProblem(DWORD Problem) {
  if (owner_ && owner_->OnSecurityProblem) return owner_->OnSecurityProblem(this, Problem);
  return S_FALSE;
}

}  // namespace leafstash
