// The entry points of the URL moniker service: monikers, bind contexts and
// the validity test.
#include <atomic>

#include "platform/urlmon/bind_operation.h"
#include "platform/urlmon/url_text.h"
#include "platform/urlmon/urlmon.h"

namespace leafstash {
namespace {

class BindContext final : public TComObject<IBindCtx> {
 public:
  explicit BindContext(IBindStatusCallback* Callback)
      : TComObject(IID_IBindCtx), callback(Callback) {}
  ComPtr<IBindStatusCallback> callback;
};

class UrlMoniker final : public TComObject<IMoniker> {
 public:
  explicit UrlMoniker(std::string Url) : TComObject(IID_IMoniker), url_(std::move(Url)) {}

  HRESULT BindToStorage(IBindCtx* Context, IMoniker*, REFIID Riid, void** Object) override {
    if (Object) *Object = nullptr;
    auto* context = dynamic_cast<BindContext*>(Context);
    if (!context || !context->callback) return E_INVALIDARG;
    if (!(Riid == IID_IStream)) return E_NOINTERFACE;
    // The bind flags tell whether the bind runs asynchronously.
    BINDINFO info;
    info.cbSize = sizeof(BINDINFO);
    DWORD flags = 0;
    context->callback->GetBindInfo(&flags, &info);
    ReleaseBindInfo(info);
    auto* operation = new BindOperation(url_, context->callback);
    const HRESULT hr = operation->Start((flags & BINDF_ASYNCHRONOUS) != 0);
    operation->Release();
    return hr;
  }

 private:
  std::string url_;
};

}  // namespace

void ReleaseStgMedium(STGMEDIUM& Medium) {
  if (Medium.pUnkForRelease) {
    Medium.pUnkForRelease->Release();
  } else if (Medium.tymed == TYMED_HGLOBAL) {
    GlobalFree(Medium.hGlobal);
  } else if (Medium.tymed == TYMED_ISTREAM && Medium.pstm) {
    Medium.pstm->Release();
  }
  Medium = STGMEDIUM();
}

void ReleaseBindInfo(BINDINFO& Info) {
  CoTaskMemFree(Info.szExtraInfo);
  CoTaskMemFree(Info.szCustomVerb);
  Info.szExtraInfo = Info.szCustomVerb = nullptr;
  ReleaseStgMedium(Info.stgmedData);
  if (Info.pUnk) Info.pUnk->Release();
  Info.pUnk = nullptr;
}

HRESULT CreateURLMoniker(IMoniker*, LPCWSTR Url, IMoniker** Moniker) {
  if (!Moniker) return E_POINTER;
  *Moniker = nullptr;
  if (!Url) return E_INVALIDARG;
  *Moniker = new UrlMoniker(WideToAnsi(Url));
  return S_OK;
}

HRESULT CreateAsyncBindCtx(DWORD, IBindStatusCallback* Callback, void*, IBindCtx** Context) {
  if (!Context) return E_POINTER;
  *Context = nullptr;
  if (!Callback) return E_INVALIDARG;
  *Context = new BindContext(Callback);
  return S_OK;
}

HRESULT IsValidURL(IBindCtx*, LPCWSTR Url, DWORD) {
  if (!Url) return E_INVALIDARG;
  return RequestUrl(WideToAnsi(Url)) ? S_OK : S_FALSE;
}

std::size_t ActiveBindCount() { return BindOperation::LiveCount(); }

}  // namespace leafstash
