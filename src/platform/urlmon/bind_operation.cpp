#include "platform/urlmon/bind_operation.h"

#include <QTimer>
#include <cstring>

#include "platform/urlmon/curl_engine.h"
#include "html/text_utils.h"
#include "platform/urlmon/url_text.h"

namespace leafstash {
namespace {

// A transfer pauses while this much of its body waits to be read, and goes
// on once less than the lower mark is left.
constexpr std::size_t kPauseAbove = 2u << 20;
constexpr std::size_t kResumeBelow = 512u << 10;
// Each data notification makes at most this much more available, so the
// reader's blocks stay small enough to remain in the processor's cache.
constexpr std::uint64_t kNotifyBlock = 256u << 10;
constexpr int kMaxRedirects = 20;
constexpr int kMaxAuthAnswers = 3;

ULONG Clamp32(std::uint64_t Value) {
  return Value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<ULONG>(Value);
}

// The data stream handed to OnDataAvailable.
class DataStream final : public TComObject<IStream> {
 public:
  explicit DataStream(std::shared_ptr<BindData> Data)
      : TComObject(IID_IStream), data_(std::move(Data)) {}

  HRESULT Read(void* Buffer, ULONG Size, ULONG* Read) override {
    const std::size_t got = data_->Read(Buffer, Size);
    if (Read) *Read = static_cast<ULONG>(got);
    return S_OK;
  }
  HRESULT Write(const void*, ULONG, ULONG*) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Seek(std::int64_t, DWORD, std::uint64_t*) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Stat(STATSTG* Stat, DWORD) override {
    if (!Stat) return E_POINTER;
    Stat->cbSize = data_->Arrived();
    return S_OK;
  }

 private:
  std::shared_ptr<BindData> data_;
};

HRESULT MapCurlError(CURLcode Code) {
  switch (Code) {
    case CURLE_OK:
      return S_OK;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return INET_E_UNKNOWN_PROTOCOL;
    case CURLE_URL_MALFORMAT:
      return MK_E_SYNTAX;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_FILE_COULDNT_READ_FILE:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
      return INET_E_RESOURCE_NOT_FOUND;
    case CURLE_OPERATION_TIMEDOUT:
      return INET_E_CONNECTION_TIMEOUT;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return INET_E_DATA_NOT_AVAILABLE;
    case CURLE_LOGIN_DENIED:
      return INET_E_AUTHENTICATION_REQUIRED;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return INET_E_SECURITY_PROBLEM;
    default:
      return INET_E_DOWNLOAD_FAILURE;
  }
}

// The absolute address a Location value names: resolved against the
// address that was asked for, as a browser does; empty when it cannot be.
std::string ResolveLocation(const std::string& Base, const std::string& Location) {
  CURLU* url = curl_url();
  std::string out;
  char* full = nullptr;
  if (url && curl_url_set(url, CURLUPART_URL, Base.c_str(), 0) == CURLUE_OK &&
      curl_url_set(url, CURLUPART_URL, Location.c_str(),
                   CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_URL, &full, 0) == CURLUE_OK) {
    out = full;
  }
  curl_free(full);
  curl_url_cleanup(url);
  return out;
}

std::string BareMimeType(std::string_view ContentType) {
  return LowerCopy(TrimView(ContentType.substr(0, ContentType.find(';'))));
}

}  // namespace

std::atomic<std::size_t> BindOperation::live_{0};

BindOperation::BindOperation(std::string Url, ComPtr<IBindStatusCallback> Callback)
    : url_(std::move(Url)), callback_(std::move(Callback)), data_(std::make_shared<BindData>()) {
  stream_ = ComPtr<IStream>::Adopt(new DataStream(data_));
  ++live_;
}

BindOperation::~BindOperation() {
  RemoveTransfer();
  --live_;
}

HRESULT BindOperation::QueryInterface(REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  if (Riid == IID_IUnknown || Riid == IID_IBinding) {
    *Object = static_cast<IBinding*>(this);
  } else if (Riid == IID_IWinInetHttpInfo) {
    *Object = static_cast<IWinInetHttpInfo*>(this);
  } else {
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG BindOperation::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT BindOperation::Start(bool Asynchronous) {
  asynchronous_ = Asynchronous;
  AddRef();  // held until the bind has stopped
  if (Asynchronous) {
    Schedule();
    return MK_S_ASYNCHRONOUS;
  }
  QEventLoop loop;
  syncLoop_ = &loop;
  Schedule();
  if (!Gone()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  syncLoop_ = nullptr;
  return S_OK;
}

void BindOperation::Schedule() {
  if (scheduled_ || Gone()) return;
  scheduled_ = true;
  AddRef();
  QTimer::singleShot(0, &CurlEngine::Instance(), [this] {
    scheduled_ = false;
    Pump();
    Release();
  });
}

HRESULT BindOperation::Abort() {
  if (Gone()) return S_FALSE;
  aborted_ = true;
  Schedule();
  return S_OK;
}

HRESULT BindOperation::GetPriority(LONG* Priority) {
  if (!Priority) return E_POINTER;
  *Priority = THREAD_PRIORITY_NORMAL;
  return S_OK;
}

void BindOperation::TransferDone(CURLcode Result) {
  transferDone_ = true;
  transferResult_ = Result;
  Schedule();
}

void BindOperation::TransferDropped() {
  easy_ = nullptr;  // the engine is going away with its handles
  transferDone_ = true;
  transferResult_ = CURLE_ABORTED_BY_CALLBACK;
}

void BindOperation::RemoveTransfer() {
  EndTap();
  if (easy_) {
    CurlEngine::Instance().RemoveTransfer(easy_);
    curl_easy_cleanup(easy_);
    easy_ = nullptr;
  }
  if (headerList_) {
    curl_slist_free_all(headerList_);
    headerList_ = nullptr;
  }
}

// Every platform callback is made from here, one at a time per bind; one
// that runs a modal loop holds back the other callbacks of its bind.
void BindOperation::Pump() {
  if (Gone() || inCallback_) return;
  if (phase_ == Phase::NotStarted) {
    phase_ = Phase::Transfer;
    BeginBind();
    return;
  }
  if (aborted_) return Stop(E_ABORT);
  if (awaitingCredentials_) return;
  if (credentialsAnswered_) {
    // The callback has its answer now. Without credentials the request is
    // made once more, and the server's refusal is the answer.
    credentialsAnswered_ = false;
    if (AskCredentials() == Challenge::Unanswered) {
      authAnswers_ = kMaxAuthAnswers;
      RemoveTransfer();
      StartRequest(false);
    }
    return;
  }
  if (http_ && headersComplete_ && !headersHandled_) {
    if (!HandleHeaders()) return;
  }
  if (!http_ && !headersHandled_ && (data_->Arrived() > 0 || transferDone_))
    headersHandled_ = true;  // no HTTP response: the data is the answer
  if (headersHandled_ && (data_->Arrived() > notified_ || data_->CanDecode()) && !transferDone_) {
    DeliverData(false);
    if (Gone()) return;
    if (aborted_) return Stop(E_ABORT);
  }
  if (transferDone_) return Finish();
  if (paused_ && headersHandled_ && data_->Held() < kResumeBelow && easy_) {
    paused_ = false;
    curl_easy_pause(easy_, CURLPAUSE_CONT);
  }
}

void BindOperation::BeginBind() {
  ++inCallback_;
  const HRESULT hr = callback_->OnStartBinding(0, this);
  --inCallback_;
  if (Gone()) return;
  if (FAILED(hr) || aborted_) return Stop(E_ABORT);
  StartRequest(true);
}

void BindOperation::StartRequest(bool AskCallback) {
  if (AskCallback) {
    BINDINFO info;
    info.cbSize = sizeof(BINDINFO);
    DWORD flags = 0;
    ++inCallback_;
    HRESULT hr = callback_->GetBindInfo(&flags, &info);
    --inCallback_;
    verb_ = info.dwBindVerb;
    customVerb_ = WideToAnsi(info.szCustomVerb);
    body_.clear();
    if (SUCCEEDED(hr) && verb_ != BINDVERB_GET && info.stgmedData.tymed == TYMED_HGLOBAL &&
        info.stgmedData.hGlobal)
      body_.assign(static_cast<const char*>(info.stgmedData.hGlobal), info.cbstgmedData);
    ReleaseBindInfo(info);
    if (Gone()) return;
    if (FAILED(hr)) return Stop(hr);

    negotiate_ = QueryAs<IHttpNegotiate>(callback_.Get(), IID_IHttpNegotiate);
    const auto recording = QueryAs<IExchangeRecording>(callback_.Get(), IID_IExchangeRecording);
    recorder_ = recording ? recording->ExchangeRecorder() : nullptr;
    requestHeaders_.clear();
    if (negotiate_) {
      const std::u16string wideUrl = AnsiToWide(url_);
      LPWSTR extra = nullptr;
      ++inCallback_;
      hr = negotiate_->BeginningTransaction(wideUrl.c_str(), u"", 0, &extra);
      --inCallback_;
      requestHeaders_ = WideToAnsi(extra);
      CoTaskMemFree(extra);
      if (Gone()) return;
      if (FAILED(hr)) return Stop(hr);
    }
    if (aborted_) return Stop(E_ABORT);
  }

  const std::string host = HostOf(url_);
  Progress(0, BINDSTATUS_FINDINGRESOURCE, host);
  if (!Gone() && !aborted_) Progress(0, BINDSTATUS_CONNECTING, host);
  if (!Gone() && !aborted_) Progress(0, BINDSTATUS_SENDINGREQUEST, "");
  if (Gone()) return;
  if (aborted_) return Stop(E_ABORT);

  const std::optional<std::string> requestUrl = RequestUrl(url_);
  if (!requestUrl) return Stop(MK_E_SYNTAX);
  // Asked at every request: a redirection may lead to another site.
  cookieContext_ = AskCookieContext();
  if (Gone()) return;
  if (aborted_) return Stop(E_ABORT);

  RemoveTransfer();
  status_ = 0;
  rawHeaders_.clear();
  headers_.clear();
  headersComplete_ = headersHandled_ = beganData_ = notifiedFirst_ = false;
  paused_ = transferDone_ = false;
  transferResult_ = CURLE_OK;
  notified_ = contentLength_ = 0;
  data_->Reset();
  const std::string scheme = SchemeOf(*requestUrl);
  http_ = scheme == "http" || scheme == "https";

  easy_ = curl_easy_init();
  if (!easy_) return Stop(E_OUTOFMEMORY);
  curl_easy_setopt(easy_, CURLOPT_URL, requestUrl->c_str());
  curl_easy_setopt(easy_, CURLOPT_PRIVATE, this);
  curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, 512L << 10);
  curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
  // Compressed answers are decoded here, a block at a time as they are
  // read, never by curl: a paused transfer then holds only wire bytes.
  curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(easy_, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &BindOperation::OnHeader);
  curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &BindOperation::OnBody);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  if (http_) SessionCookies().Attach(easy_, cookieContext_);
  for (std::size_t at = 0; at < requestHeaders_.size();) {
    std::size_t end = requestHeaders_.find('\n', at);
    if (end == std::string::npos) end = requestHeaders_.size();
    const std::string line(TrimView(std::string_view(requestHeaders_).substr(at, end - at)));
    if (!line.empty()) headerList_ = curl_slist_append(headerList_, line.c_str());
    at = end + 1;
  }
  if (headerList_) curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);
  switch (verb_) {
    case BINDVERB_POST:
      curl_easy_setopt(easy_, CURLOPT_POST, 1L);
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, body_.data());
      break;
    case BINDVERB_PUT:
      curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, "PUT");
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, body_.data());
      break;
    case BINDVERB_CUSTOM:
      if (!customVerb_.empty()) curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, customVerb_.c_str());
      break;
    default:
      curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
      break;
  }
  // Credentials go only to the host that asked for them.
  if (!user_.empty() && HostOf(*requestUrl) == authHost_) {
    curl_easy_setopt(easy_, CURLOPT_HTTPAUTH, authType_);
    curl_easy_setopt(easy_, CURLOPT_USERNAME, user_.c_str());
    curl_easy_setopt(easy_, CURLOPT_PASSWORD, password_.c_str());
  }
  if (insecure_) {
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  if (http_) OpenTap(*requestUrl);
  CurlEngine::Instance().AddTransfer(easy_, this);
}

std::size_t BindOperation::OnHeader(char* Data, std::size_t Size, std::size_t Count, void* Self) {
  auto* op = static_cast<BindOperation*>(Self);
  const std::size_t n = Size * Count;
  const std::string_view line(Data, n);
  if (!op->http_) return n;
  if (line.rfind("HTTP/", 0) == 0) {  // a new response begins
    op->rawHeaders_.clear();
    op->headers_.clear();
    op->headersComplete_ = false;
    const std::size_t space = line.find(' ');
    op->status_ = space == std::string_view::npos ? 0 : std::atol(std::string(line.substr(space + 1, 3)).c_str());
  }
  op->rawHeaders_.append(line);
  const std::string_view content = TrimView(line);
  if (content.empty()) {
    // The end of the headers; an interim response (100 Continue) is skipped.
    if (op->status_ >= 200 || op->status_ == 0) {
      op->headersComplete_ = true;
      if (op->tap_ && !op->tapResponded_) {
        char* ip = nullptr;
        curl_easy_getinfo(op->easy_, CURLINFO_PRIMARY_IP, &ip);
        op->tap_->ResponseBegan(op->rawHeaders_, ip ? ip : "");
        op->tapResponded_ = true;
      }
      op->Schedule();
    }
    return n;
  }
  const std::size_t colon = content.find(':');
  if (colon != std::string_view::npos)
    op->headers_.emplace(LowerCopy(TrimView(content.substr(0, colon))),
                         std::string(TrimView(content.substr(colon + 1))));
  return n;
}

std::size_t BindOperation::OnBody(char* Data, std::size_t Size, std::size_t Count, void* Self) {
  auto* op = static_cast<BindOperation*>(Self);
  const std::size_t n = Size * Count;
  // Nothing is taken before the response has been judged, nor while much
  // is still unread; curl hands the same bytes again after the pause.
  const bool judged = op->headersHandled_ || !op->http_;
  if ((!judged && op->http_) || (op->data_->Held() > 0 && op->data_->Held() + n > kPauseAbove)) {
    op->paused_ = true;
    op->Schedule();
    return CURL_WRITEFUNC_PAUSE;
  }
  op->data_->Append(Data, n);
  if (op->tap_) op->tap_->ResponseData(Data, n);
  op->Schedule();
  return n;
}

TCookieContext BindOperation::AskCookieContext() {
  const auto context = QueryAs<IRequestContext>(callback_.Get(), IID_IRequestContext);
  if (!context) return TCookieContext::SameSite;
  LPWSTR firstParty = nullptr;
  BOOL navigation = 0;
  ++inCallback_;
  const HRESULT hr = context->GetRequestContext(&firstParty, &navigation);
  --inCallback_;
  const std::string page = WideToAnsi(firstParty);
  CoTaskMemFree(firstParty);
  if (FAILED(hr)) return TCookieContext::SameSite;
  return CookieContextOf(url_, page, navigation != 0);
}

BindOperation::Challenge BindOperation::AskCredentials() {
  auto auth = QueryAs<IAuthenticate>(callback_.Get(), IID_IAuthenticate);
  if (!auth) return Challenge::Unanswered;
  HWND window = 0;
  LPWSTR user = nullptr, password = nullptr;
  ++inCallback_;
  const HRESULT hr = auth->Authenticate(&window, &user, &password);
  --inCallback_;
  const std::string userText = WideToAnsi(user), passwordText = WideToAnsi(password);
  CoTaskMemFree(user);
  CoTaskMemFree(password);
  if (Gone()) return Challenge::Taken;
  if (aborted_) {
    Stop(E_ABORT);
    return Challenge::Taken;
  }
  if (hr == E_PENDING) {
    // The answer comes later (the user is being asked): the bind waits,
    // holding no connection, until the callback resumes it.
    RemoveTransfer();
    awaitingCredentials_ = true;
    return Challenge::Taken;
  }
  if (FAILED(hr) || userText.empty()) return Challenge::Unanswered;
  ++authAnswers_;
  user_ = userText;
  password_ = passwordText;
  authHost_ = HostOf(url_);
  const std::string challenge = LowerCopy(Header("www-authenticate"));
  authType_ = challenge.rfind("digest", 0) == 0 ? CURLAUTH_DIGEST : CURLAUTH_BASIC;
  RemoveTransfer();
  StartRequest(false);
  return Challenge::Taken;
}

HRESULT BindOperation::Resume() {
  if (Gone() || !awaitingCredentials_) return S_FALSE;
  awaitingCredentials_ = false;
  credentialsAnswered_ = true;
  Schedule();
  return S_OK;
}

bool BindOperation::HandleHeaders() {
  // Whatever the answer, the cookies it sets are kept as a browser keeps them.
  std::vector<std::string> setCookies;
  for (auto [at, end] = headers_.equal_range("set-cookie"); at != end; ++at)
    setCookies.push_back(at->second);
  SessionCookies().Received(cookieContext_, url_, setCookies);
  const std::string location = Header("location");
  if (status_ >= 300 && status_ < 400 && !location.empty()) {
    // Followed at once, whatever body the answer carries (servers send a
    // small page with most redirections); the body is not read.
    const std::string next = ResolveLocation(RequestUrl(url_).value_or(url_), location);
    RemoveTransfer();
    const std::string scheme = SchemeOf(next);
    if (next.empty() || (scheme != "http" && scheme != "https") || ++redirects_ > kMaxRedirects) {
      Stop(INET_E_REDIRECT_FAILED);
      return false;
    }
    url_ = next;
    Progress(0, BINDSTATUS_REDIRECTING, next);
    if (Gone()) return false;
    if (aborted_) {
      Stop(E_ABORT);
      return false;
    }
    StartRequest(true);
    return false;
  }

  if (status_ == 401 && authAnswers_ < kMaxAuthAnswers && AskCredentials() == Challenge::Taken)
    return false;

  headersHandled_ = true;
  data_->SetCoding(Header("content-encoding"));
  const std::string length = Header("content-length");
  contentLength_ = length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10);
  if (negotiate_) {
    const std::u16string response = AnsiToWide(rawHeaders_), request = AnsiToWide(requestHeaders_);
    LPWSTR extra = nullptr;
    ++inCallback_;
    const HRESULT hr = negotiate_->OnResponse(static_cast<DWORD>(status_), response.c_str(),
                                              request.c_str(), &extra);
    --inCallback_;
    CoTaskMemFree(extra);
    if (Gone()) return false;
    if (FAILED(hr)) {
      Stop(hr);
      return false;
    }
  }
  if (aborted_) {
    Stop(E_ABORT);
    return false;
  }
  const std::string mime = BareMimeType(Header("content-type"));
  if (!mime.empty()) {
    Progress(0, BINDSTATUS_MIMETYPEAVAILABLE, mime);
    if (Gone()) return false;
    if (aborted_) {
      Stop(E_ABORT);
      return false;
    }
  }
  return true;
}

void BindOperation::Progress(std::uint64_t Done, ULONG Status, const std::string& Text) {
  const std::u16string wide = AnsiToWide(Text);
  ++inCallback_;
  callback_->OnProgress(Clamp32(Done), Clamp32(contentLength_), Status,
                        Text.empty() ? nullptr : wide.c_str());
  --inCallback_;
}

void BindOperation::DeliverData(bool Last) {
  bool sentLast = false;
  do {
    if (!data_->Decode(kNotifyBlock)) return Stop(data_->Failure());
    const std::uint64_t arrived = std::min(data_->Arrived(), notified_ + kNotifyBlock);
    const bool fresh = arrived > notified_;
    if (fresh && !beganData_) {
      beganData_ = true;
      Progress(arrived, BINDSTATUS_BEGINDOWNLOADDATA, url_);
      if (Gone() || aborted_) return;
    }
    // The last notification is the one that reaches the end of the data.
    const bool last = Last && arrived == data_->Arrived() && !data_->CanDecode();
    Notify(arrived, last);
    sentLast = last;
    if (Gone() || aborted_) return;
    if (fresh) Progress(arrived, BINDSTATUS_DOWNLOADINGDATA, url_);
    if (Gone() || aborted_) return;
    // What the reader took beyond the notified size needs no notification.
    notified_ = std::max(notified_, data_->Arrived() - data_->Unread());
  } while (notified_ < data_->Arrived() || data_->CanDecode());
  if (Last && !sentLast) Notify(data_->Arrived(), true);
}

void BindOperation::Notify(std::uint64_t Size, bool Last) {
  DWORD flags = notifiedFirst_ ? BSCF_INTERMEDIATEDATANOTIFICATION : BSCF_FIRSTDATANOTIFICATION;
  if (Last) flags |= BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE;
  notifiedFirst_ = true;
  notified_ = std::max(notified_, Size);
  FORMATETC format;
  format.tymed = TYMED_ISTREAM;
  STGMEDIUM medium;
  medium.tymed = TYMED_ISTREAM;
  medium.pstm = stream_.Get();
  ++inCallback_;
  callback_->OnDataAvailable(flags, Size, &format, &medium);
  --inCallback_;
}

void BindOperation::Finish() {
  if (transferResult_ != CURLE_OK) {
    const HRESULT mapped = MapCurlError(transferResult_);
    if (mapped == INET_E_SECURITY_PROBLEM && !securityAsked_ && !insecure_) {
      // A certificate problem goes on only when the callback accepts it.
      securityAsked_ = true;
      HRESULT answer = S_FALSE;
      if (auto security = QueryAs<IHttpSecurity>(callback_.Get(), IID_IHttpSecurity)) {
        HWND window = 0;
        ++inCallback_;
        security->GetWindow(IID_IHttpSecurity, &window);
        if (!Gone()) answer = security->OnSecurityProblem(ERROR_INTERNET_INVALID_CA);
        --inCallback_;
      }
      if (Gone()) return;
      if (aborted_) return Stop(E_ABORT);
      if (answer == S_OK) {
        insecure_ = true;
        RemoveTransfer();
        StartRequest(false);
        return;
      }
    }
    return Stop(mapped);
  }
  if (http_ && !headersHandled_) {
    if (!headersComplete_) return Stop(INET_E_DATA_NOT_AVAILABLE);
    if (!HandleHeaders()) return;
  }
  if (data_->Compressed()) {
    // All is decoded first: a compressed body cut short can come as a
    // whole transfer all the same.
    DeliverData(false);
    if (Gone()) return;
    if (aborted_) return Stop(E_ABORT);
    if (!data_->Complete()) return Stop(INET_E_DATA_NOT_AVAILABLE);
  }
  DeliverData(true);
  if (Gone()) return;
  if (aborted_) return Stop(E_ABORT);
  Progress(data_->Arrived(), BINDSTATUS_ENDDOWNLOADDATA, url_);
  if (Gone()) return;
  Stop(aborted_ ? E_ABORT : S_OK);
}

void BindOperation::Stop(HRESULT Result) {
  if (Gone()) return;
  phase_ = Phase::Finished;
  RemoveTransfer();
  ComPtr<IBindStatusCallback> callback = std::move(callback_);
  ++inCallback_;
  callback->OnStopBinding(Result, nullptr);
  --inCallback_;
  // The callback's references go only after it has returned.
  callback.Reset();
  negotiate_.Reset();
  if (syncLoop_) syncLoop_->quit();
  Release();  // the reference held since Start
}

}  // namespace leafstash
