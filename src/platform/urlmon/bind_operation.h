// One bind of the URL moniker stand-in: the callback order of the
// platform, redirections, credentials, certificate problems and the data
// stream, over one libcurl transfer per request.
#pragma once

#include <QPointer>
#include <QEventLoop>
#include <atomic>
#include <curl/curl.h>
#include <map>
#include <memory>
#include <string>

#include "platform/urlmon/bind_data.h"
#include "platform/urlmon/curl_engine.h"
#include "platform/urlmon/exchange_tap.h"
#include "platform/urlmon/session_cookies.h"
#include "platform/urlmon/urlmon.h"

namespace leafstash {

class BindOperation final : public IBinding, public IWinInetHttpInfo, public TCurlTransfer {
 public:
  BindOperation(std::string Url, ComPtr<IBindStatusCallback> Callback);

  // Starts the bind: asynchronously, or to its end inside this call.
  HRESULT Start(bool Asynchronous);

  HRESULT QueryInterface(REFIID Riid, void** Object) override;
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override;

  HRESULT Abort() override;
  HRESULT Suspend() override { return E_NOTIMPL; }
  // Goes on with a bind that waits for credentials (its callback answered
  // E_PENDING from Authenticate and has the answer now); S_FALSE otherwise.
  HRESULT Resume() override;
  HRESULT SetPriority(LONG) override { return S_OK; }
  HRESULT GetPriority(LONG* Priority) override;

  HRESULT QueryInfo(DWORD Option, void* Buffer, DWORD* Size, DWORD* Flags,
                    DWORD* Reserved) override;

  static std::size_t LiveCount() { return live_; }

  // From the engine.
  void TransferDone(CURLcode Result) override;
  void TransferDropped() override;

 private:
  enum class Phase { NotStarted, Transfer, Finished };
  ~BindOperation() override;

  void Schedule();
  void Pump();
  void BeginBind();
  void StartRequest(bool AskCallback);
  // The cookie context of the request about to go to url_.
  TCookieContext AskCookieContext();
  bool HandleHeaders();
  // What the callback made of a 401: credentials given and the request made
  // again, an answer to come, or the bind ended (all Taken); or none.
  enum class Challenge { Taken, Unanswered };
  Challenge AskCredentials();
  void DeliverData(bool Last);
  void Notify(std::uint64_t Size, bool Last);
  void Finish();
  void Stop(HRESULT Result);
  void RemoveTransfer();
  void Progress(std::uint64_t Done, ULONG Status, const std::string& Text);
  bool Gone() const { return phase_ == Phase::Finished; }
  std::string Header(const std::string& LowerName) const;

  static std::size_t OnHeader(char* Data, std::size_t Size, std::size_t Count, void* Self);
  static std::size_t OnBody(char* Data, std::size_t Size, std::size_t Count, void* Self);
  static int OnDebug(CURL*, curl_infotype Type, char* Data, std::size_t Size, void* Self);
  // Opens the tap of the exchange about to begin, when the callback wants
  // its exchanges recorded.
  void OpenTap(const std::string& RequestUrl);
  // Ends the tap of the transfer being removed, or hands it with the
  // transfer to a drain that reads the rest of the body for the record.
  void EndTap();

  static std::atomic<std::size_t> live_;
  std::atomic<ULONG> references_{1};
  std::string url_;
  ComPtr<IBindStatusCallback> callback_;
  ComPtr<IHttpNegotiate> negotiate_;
  ComPtr<IStream> stream_;
  std::shared_ptr<BindData> data_;
  Phase phase_ = Phase::NotStarted;
  bool asynchronous_ = true;
  bool scheduled_ = false;
  int inCallback_ = 0;
  bool aborted_ = false;
  QEventLoop* syncLoop_ = nullptr;

  // The request.
  TCookieContext cookieContext_ = TCookieContext::SameSite;
  DWORD verb_ = BINDVERB_GET;
  std::string customVerb_;
  std::string body_;
  std::string requestHeaders_;
  int redirects_ = 0;
  int authAnswers_ = 0;
  bool awaitingCredentials_ = false;  // Authenticate answered E_PENDING
  bool credentialsAnswered_ = false;  // Resume was called: ask again
  std::string user_, password_, authHost_;
  long authType_ = CURLAUTH_BASIC;
  bool insecure_ = false;
  bool securityAsked_ = false;

  // The transfer and its response.
  CURL* easy_ = nullptr;
  curl_slist* headerList_ = nullptr;
  bool http_ = false;
  bool paused_ = false;
  bool transferDone_ = false;
  CURLcode transferResult_ = CURLE_OK;
  long status_ = 0;
  std::string rawHeaders_;
  std::multimap<std::string, std::string> headers_;  // lower-case names
  bool headersComplete_ = false;
  bool headersHandled_ = false;
  bool beganData_ = false;
  bool notifiedFirst_ = false;
  std::uint64_t notified_ = 0;
  std::uint64_t contentLength_ = 0;

  // The record of the exchanges (none when the callback wants none).
  TExchangeRecorder* recorder_ = nullptr;
  std::unique_ptr<TExchangeTap> tap_;
  std::string tapUrl_;
  std::string sentHead_;        // the request head as curl sends it
  bool tapResponded_ = false;   // the tap has its response
};

}  // namespace leafstash
