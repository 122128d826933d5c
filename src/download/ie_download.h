// The download component: fetches the resource behind one address per
// request through the URL moniker service and reports progress, data,
// credentials requests and completion as events. Each request is carried
// by a bind-status callback object, TBSCB, the Sender of its events.
#pragma once

#include <QTimer>
#include <atomic>
#include <bitset>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "download/streams.h"
#include "platform/urlmon/exchange_tap.h"
#include "platform/urlmon/urlmon.h"

namespace leafstash {

enum class TCodePageOption { Ansi, OEM, Mac, ThreadsAnsi, Symbol, UTF7, UTF8 };
enum class TBindVerbOption { Get, Post, Put, Custom };

// Members in the order of the platform's bind flags: member n is flag 1 << n.
enum class TBindInfoOption {
  Asynchronous, AsyncStorage, NoProgressiveRendering, OfflineOperation, GetNewestVersion,
  NoWriteCache, NeedFile, PullData, IgnoreSecurityProblem, Resynchronize, Hyperlink, No_UI,
  SilentOperation, Pragma_No_Cache, GetClassObject, Reserved_1, Free_Threaded, Direct_Read,
  Forms_Submit, GetFromCache_If_Net_Fail, FromUrlmon, Fwd_Back, Reserved_2, Reserved_3,
};

class TBindInfoOptions {
 public:
  TBindInfoOptions() = default;
  TBindInfoOptions(std::initializer_list<TBindInfoOption> Members) {
    for (TBindInfoOption m : Members) Include(m);
  }
  void Include(TBindInfoOption M) { bits_.set(static_cast<std::size_t>(M)); }
  void Exclude(TBindInfoOption M) { bits_.reset(static_cast<std::size_t>(M)); }
  bool Contains(TBindInfoOption M) const { return bits_.test(static_cast<std::size_t>(M)); }
  // The bind flags word: the sum of 1 << ordinal of every member.
  DWORD Flags() const { return static_cast<DWORD>(bits_.to_ulong()); }
  bool operator==(const TBindInfoOptions&) const = default;

 private:
  std::bitset<24> bits_;
};

enum class TUrlEncodeOption { PostData, ExtraInfo };
using TUrlEncodeOptions = std::bitset<2>;

struct TSecurity {
  bool InheritHandle = false;
  std::string Descriptor;
};

struct TRange {
  std::int32_t RangeBegin = 0;
  std::int32_t RangeEnd = 0;
};

class TBSCB;
class TIEDownload;

using TOnProgressEvent = std::function<void(
    TBSCB* Sender, ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
    LPCWSTR szStatusText, const std::string& ElapsedTime, const std::string& Speed,
    const std::string& EstimatedTime)>;
using TOnResumeEvent = std::function<void(TBSCB* Sender, const std::string& Filename, DWORD& Action)>;
// A handler that replaces szAdditionalHeaders gives a string from
// CoTaskMemAlloc; the component frees the one it replaced.
using TBeginningTransactionEvent = std::function<HRESULT(
    TBSCB* Sender, LPCWSTR szURL, LPCWSTR szHeaders, DWORD dwReserved,
    LPWSTR& szAdditionalHeaders)>;
using TOnResponseEvent = std::function<HRESULT(
    TBSCB* Sender, DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR szRequestHeaders,
    LPWSTR& szAdditionalRequestHeaders)>;
// The user name and password are handed over as strings from CoTaskMemAlloc.
// E_PENDING: the handler answers later, and calls ResumeAfterCredentials on
// the download once it can; the download waits, its time-out stopped.
using TAuthenticateEvent =
    std::function<HRESULT(TBSCB* Sender, HWND& hwnd, LPWSTR& szUserName, LPWSTR& szPassWord)>;
using TOnCompleteEvent = std::function<void(TBSCB* Sender, TStream* Stream, HRESULT Result)>;
// A handler that replaces Buffer gives memory from CoTaskMemAlloc and frees
// the buffer it was given; the component frees the one left in Buffer.
using TOnDataEvent = std::function<void(TBSCB* Sender, unsigned char*& Buffer, ULONG& BufLength)>;
using TGetWindowEvent = std::function<HRESULT(TBSCB* Sender, REFIID guidReason, HWND& hwnd)>;
using TOnSecurityProblemEvent = std::function<HRESULT(TBSCB* Sender, DWORD dwProblem)>;

// The settings of one request, taken when it starts.
struct TInfo {
  TIEDownload* Owner = nullptr;
  std::u16string Url;
  std::int32_t TimeOut = 0;
  std::string FileName;
  std::string PostData;
  std::string PutFileName;
  std::vector<std::string> AdditionalHeader;
  std::string Password;
  std::string Username;
  std::string CustomVerb;
  std::string ExtraInfo;
  std::string Descriptor;
  std::string UserAgent;
  std::string FirstPartyUrl;
  bool Navigation = false;
  TExchangeRecorder* Recorder = nullptr;
  std::int64_t RangeBegin = 0;  // a resumed file may pass 4 GiB
  std::int64_t RangeEnd = 0;
  bool InheritHandle = false;
  DWORD BindVerb = BINDVERB_GET;
  DWORD BindFlags = 0;
  DWORD BindInfoFlags = 0;
  DWORD CodePage = 0;
  std::uint64_t MaxMemoryBody = 0;
};

class TIEDownload {
 public:
  TIEDownload();
  ~TIEDownload();
  TIEDownload(const TIEDownload&) = delete;
  TIEDownload& operator=(const TIEDownload&) = delete;

  // Published properties.
  std::int32_t TimeOut = 0;  // inactivity time-out in milliseconds; 0: none
  std::string ExtraInfo;
  std::string CustomVerb;
  TCodePageOption Codepage() const { return codepage_; }
  void SetCodepage(TCodePageOption Value);
  DWORD CodePageNumber() const { return codePageNumber_; }
  TBindVerbOption Method() const { return method_; }
  void SetMethod(TBindVerbOption Value);
  DWORD BindVerbNumber() const { return bindVerb_; }
  const TBindInfoOptions& Options() const { return options_; }
  void SetOptions(const TBindInfoOptions& Value);
  DWORD BindFlags() const { return bindFlags_; }
  TUrlEncodeOptions UrlEncode;
  TSecurity Security;
  TRange Range;
  std::string Password;
  std::string Username;
  std::string PutFileName;
  std::vector<std::string> AdditionalHeader = {"Content-Type: application/x-www-form-urlencoded"};
  std::string PostData;
  std::string UserAgent;  // the user's browser user agent from the registry
  // Where the next requests stand in the browser's session: the page they
  // are made for (empty: none) and whether they open pages from its links;
  // they decide which SameSite cookies go along.
  std::string FirstPartyUrl;
  bool Navigation = false;
  // Where the exchanges of the next requests are recorded; none when null.
  TExchangeRecorder* Recorder = nullptr;
  // Largest body kept in memory; past it the download fails.
  std::uint64_t MaxMemoryBody = 1ull << 30;

  TOnProgressEvent OnProgress;
  TOnResumeEvent OnResume;
  TBeginningTransactionEvent OnBeginningTransaction;
  TOnResponseEvent OnResponse;
  TAuthenticateEvent OnAuthenticate;
  TOnCompleteEvent OnComplete;
  TOnDataEvent OnData;
  TGetWindowEvent OnGetWindow;
  TOnSecurityProblemEvent OnSecurityProblem;

  // Starts a download into memory; OnComplete gets the body's stream.
  void Download(const std::string& Url);
  // Starts a download into FileName, resuming a partly downloaded file.
  void DownloadToFile(const std::string& Url, const std::string& FileName);
  // Stops every running download at its next callback; the next start
  // clears the flag.
  void Cancel() { cancelled_ = true; }
  void CancelDownload(TBSCB* Download);

  bool Cancelled() const { return cancelled_; }
  std::size_t ActiveCount() const { return active_.size(); }

 private:
  friend class TBSCB;
  void Start(const std::string& Url, const std::string& FileName);
  // The binding of Download has stopped: it leaves the list and goes.
  void Finished(TBSCB* Download);

  TCodePageOption codepage_ = TCodePageOption::Ansi;
  DWORD codePageNumber_ = 0;
  TBindVerbOption method_ = TBindVerbOption::Get;
  DWORD bindVerb_ = BINDVERB_GET;
  TBindInfoOptions options_;
  DWORD bindFlags_ = 0;
  bool cancelled_ = false;
  std::vector<TBSCB*> active_;
  // The counter every callback object of the component counts its
  // platform references on.
  std::shared_ptr<std::atomic<ULONG>> references_;
};

class TBSCB final : public IHttpSecurity,
                    public IAuthenticate,
                    public IHttpNegotiate,
                    public IRequestContext,
                    public IExchangeRecording,
                    public IBindStatusCallback {
 public:
  // Starts the bind; a failure to start is reported through OnComplete.
  TBSCB(TIEDownload* Owner, TInfo Info);

  // The address of the download as it was requested.
  const std::u16string& Url() const { return info_.Url; }
  // The status code of the last response; 0 until one arrived.
  DWORD ResponseCode() const { return responseCode_; }
  // The address the download is at now: Url, or the last redirection.
  const std::u16string& CurrentUrl() const { return currentUrl_; }
  // A number no other download of the process has.
  std::uint64_t Id() const { return id_; }
  // The handler that answered E_PENDING to OnAuthenticate has its answer:
  // the download asks it again and goes on.
  void ResumeAfterCredentials();
  // Aborts the bind now, also one that waits for credentials with no
  // transfer to notice a cancel; it then completes with E_ABORT.
  void AbortBinding();

  HRESULT QueryInterface(REFIID Riid, void** Object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT GetWindow(REFIID Reason, HWND* Window) override;
  HRESULT OnSecurityProblem(DWORD Problem) override;
  HRESULT Authenticate(HWND* Window, LPWSTR* UserName, LPWSTR* Password) override;
  HRESULT GetRequestContext(LPWSTR* FirstPartyUrl, BOOL* Navigation) override;
  TExchangeRecorder* ExchangeRecorder() override { return info_.Recorder; }
  HRESULT BeginningTransaction(LPCWSTR Url, LPCWSTR Headers, DWORD Reserved,
                               LPWSTR* AdditionalHeaders) override;
  HRESULT OnResponse(DWORD ResponseCode, LPCWSTR ResponseHeaders, LPCWSTR RequestHeaders,
                     LPWSTR* AdditionalRequestHeaders) override;
  HRESULT OnStartBinding(DWORD Reserved, IBinding* Binding) override;
  HRESULT GetPriority(LONG* Priority) override;
  HRESULT OnLowResource(DWORD) override { return S_OK; }
  HRESULT OnProgress(ULONG Progress, ULONG ProgressMax, ULONG StatusCode,
                     LPCWSTR StatusText) override;
  HRESULT OnStopBinding(HRESULT Result, LPCWSTR Error) override;
  HRESULT GetBindInfo(DWORD* BindFlags, BINDINFO* BindInfo) override;
  HRESULT OnDataAvailable(DWORD Flags, std::uint64_t Size, FORMATETC* Format,
                          STGMEDIUM* Medium) override;
  HRESULT OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

 private:
  friend class TIEDownload;
  ~TBSCB() override;
  // The component lets go of the object: no more events, the binding is
  // aborted, and the object goes once the platform has released it too.
  void Detach();
  void StartBind();
  bool Cancelled() const;
  void Complete(TStream* Stream, HRESULT Result);
  void ReleaseBody();
  void TimerFired();
  bool IntoFile() const { return !info_.FileName.empty(); }
  std::uint64_t ElapsedMs() const;

  TIEDownload* owner_;
  TInfo info_;
  std::shared_ptr<std::atomic<ULONG>> sharedReferences_;
  std::atomic<int> alive_{1};  // the component's reference and the platform's
  bool cancelled_ = false;
  bool timedOut_ = false;
  bool redirected_ = false;
  bool stopped_ = false;
  bool awaitingCredentials_ = false;  // the time-out waits for an answer
  HRESULT failure_ = S_OK;  // a file or memory failure that ends the download
  std::unique_ptr<TMemoryStream> memory_;
  std::unique_ptr<TFileStream> file_;
  std::unique_ptr<QTimer> timer_;
  std::chrono::steady_clock::time_point start_{};
  bool started_ = false;
  ComPtr<IBindCtx> context_;
  ComPtr<IMoniker> moniker_;
  ComPtr<IBinding> binding_;
  ComPtr<IStream> data_;
  HGLOBAL body_ = nullptr;
  std::size_t bodySize_ = 0;
  std::uint64_t bytesRead_ = 0;
  std::uint64_t sizeAtRestart_ = 0;  // data size when the timer last started
  DWORD responseCode_ = 0;
  std::u16string currentUrl_;
  std::uint64_t id_;
};

}  // namespace leafstash
