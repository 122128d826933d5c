// The URL moniker stand-in seen from a callback of its own: the order of
// the callbacks and what each one is told.
#include "download_fixture.h"
#include "platform/urlmon/url_text.h"

namespace leafstash {
namespace {

// Records the callbacks of one bind as short lines.
class Probe final : public IBindStatusCallback, public IHttpNegotiate, public IAuthenticate {
 public:
  std::vector<std::string> calls;
  std::vector<DWORD> dataFlags;
  std::string body;
  bool stopped = false;
  HRESULT stopResult = S_OK;
  bool answerCredentials = false;
  bool asynchronous = true;
  ComPtr<IBinding> binding;

  HRESULT QueryInterface(REFIID Riid, void** Object) override {
    if (Riid == IID_IUnknown || Riid == IID_IBindStatusCallback)
      *Object = static_cast<IBindStatusCallback*>(this);
    else if (Riid == IID_IHttpNegotiate)
      *Object = static_cast<IHttpNegotiate*>(this);
    else if (Riid == IID_IAuthenticate)
      *Object = static_cast<IAuthenticate*>(this);
    else {
      *Object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  ULONG references = 1;

  HRESULT OnStartBinding(DWORD, IBinding* Binding) override {
    calls.push_back("start");
    binding = Binding;
    return S_OK;
  }
  HRESULT GetPriority(LONG*) override { return S_OK; }
  HRESULT OnLowResource(DWORD) override { return S_OK; }
  HRESULT OnProgress(ULONG, ULONG, ULONG Code, LPCWSTR) override {
    calls.push_back("progress " + std::to_string(Code));
    return S_OK;
  }
  HRESULT OnStopBinding(HRESULT Result, LPCWSTR) override {
    calls.push_back("stop");
    stopped = true;
    stopResult = Result;
    binding.Reset();
    return S_OK;
  }
  HRESULT GetBindInfo(DWORD* Flags, BINDINFO*) override {
    *Flags = asynchronous ? DWORD{BINDF_ASYNCHRONOUS} : DWORD{0};
    calls.push_back("bindinfo");
    return S_OK;
  }
  HRESULT OnDataAvailable(DWORD Flags, std::uint64_t, FORMATETC*, STGMEDIUM* Medium) override {
    dataFlags.push_back(Flags);
    char buffer[4096];
    ULONG got = 0;
    while (Medium->pstm->Read(buffer, sizeof buffer, &got) == S_OK && got) body.append(buffer, got);
    if (calls.back() != "data") calls.push_back("data");
    return S_OK;
  }
  HRESULT OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
  HRESULT BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* Extra) override {
    calls.push_back("transaction");
    *Extra = CoTaskStrDup("X-Probe: 1\r\n", true);
    return S_OK;
  }
  HRESULT OnResponse(DWORD Code, LPCWSTR, LPCWSTR, LPWSTR*) override {
    calls.push_back("response " + std::to_string(Code));
    return S_OK;
  }
  HRESULT Authenticate(HWND*, LPWSTR* User, LPWSTR* Password) override {
    calls.push_back("authenticate");
    *User = answerCredentials ? CoTaskStrDup("ann") : nullptr;
    *Password = answerCredentials ? CoTaskStrDup("pw") : nullptr;
    return S_OK;
  }
};

class UrlMonikerTest : public test::DownloadSite {
 protected:
  void Bind(Probe& probe, const std::string& Url) {
    ComPtr<IMoniker> moniker;
    ComPtr<IBindCtx> context;
    const std::u16string wide = AnsiToWide(Url);
    ASSERT_EQ(CreateURLMoniker(nullptr, wide.c_str(), moniker.Put()), S_OK);
    ASSERT_EQ(CreateAsyncBindCtx(0, &probe, nullptr, context.Put()), S_OK);
    ASSERT_EQ(IsValidURL(context.Get(), wide.c_str(), 0), S_OK);
    void* object = nullptr;
    const HRESULT hr = moniker->BindToStorage(context.Get(), nullptr, IID_IStream, &object);
    EXPECT_EQ(hr, probe.asynchronous ? MK_S_ASYNCHRONOUS : S_OK);
    if (probe.asynchronous) {
      EXPECT_EQ(probe.calls, std::vector<std::string>{"bindinfo"});  // nothing else yet
      ASSERT_TRUE(test::WaitUntil([&] { return probe.stopped; }));
    }
    context.Reset();
    moniker.Reset();
    EXPECT_TRUE(test::WaitUntil([&] { return probe.references == 1; }));  // all released
  }
};

TEST(UrlText, HostsAndOrigins) {
  EXPECT_EQ(HostOf("http://ann:pw@Example.ORG:8080/a?b"), "example.org");
  EXPECT_EQ(HostOf("http://[::1]:81/"), "[::1]");
  EXPECT_EQ(HostOf("mailto:x@y"), "");
  // Same server: the default port written out, case and user name ignored.
  EXPECT_EQ(OriginOf("HTTP://Host/p"), OriginOf("http://ann@host:80/q"));
  EXPECT_EQ(OriginOf("https://host"), "https://host:443");
  EXPECT_NE(OriginOf("http://host:8080/"), OriginOf("http://host/"));
  EXPECT_NE(OriginOf("https://host/"), OriginOf("http://host:443/"));
  EXPECT_EQ(OriginOf("http://[::1]:81/x"), "http://[::1]:81");
}

TEST_F(UrlMonikerTest, TheOrderOfTheCallbacks) {
  Probe probe;
  Bind(probe, Url("/hop/1"));
  const std::vector<std::string> expected = {
      "bindinfo", "start", "bindinfo", "transaction", "progress 1", "progress 2",
      "progress 11", "progress 3", "bindinfo", "transaction", "progress 1", "progress 2",
      "progress 11", "response 200", "progress 13", "progress 4", "data", "progress 5",
      "data", "progress 6", "stop"};
  EXPECT_EQ(probe.calls, expected);  // no response for the redirection itself
  EXPECT_EQ(probe.body, "arrived");
  ASSERT_GE(probe.dataFlags.size(), 2u);
  EXPECT_TRUE(probe.dataFlags.front() & BSCF_FIRSTDATANOTIFICATION);
  EXPECT_TRUE(probe.dataFlags.back() & BSCF_LASTDATANOTIFICATION);
  EXPECT_EQ(Server().Requests().back().Header("X-Probe"), "1");
}

TEST_F(UrlMonikerTest, AnAnswered401GetsNoResponseCallback) {
  Probe probe;
  probe.answerCredentials = true;
  Bind(probe, Url("/secret"));
  EXPECT_EQ(std::count(probe.calls.begin(), probe.calls.end(), "authenticate"), 1);
  EXPECT_EQ(std::count(probe.calls.begin(), probe.calls.end(), "response 200"), 1);
  EXPECT_EQ(std::count(probe.calls.begin(), probe.calls.end(), "response 401"), 0);
  EXPECT_EQ(probe.body, "the secret");
}

TEST_F(UrlMonikerTest, ABigBodyArrivesWholeInSmallBlocksAndSynchronously) {
  Probe probe;
  probe.asynchronous = false;
  Bind(probe, Url("/large"));
  EXPECT_TRUE(probe.stopped);  // inside BindToStorage
  EXPECT_EQ(probe.stopResult, S_OK);
  EXPECT_EQ(probe.body, Pattern(3u << 20));
  EXPECT_EQ(std::count_if(probe.dataFlags.begin(), probe.dataFlags.end(),
                          [](DWORD f) { return f & BSCF_LASTDATANOTIFICATION; }),
            1);
}

TEST_F(UrlMonikerTest, AbortAndConnectionFailures) {
  Probe probe;
  ComPtr<IMoniker> moniker;
  ComPtr<IBindCtx> context;
  const std::u16string url = AnsiToWide(Url("/stall"));
  CreateURLMoniker(nullptr, url.c_str(), moniker.Put());
  CreateAsyncBindCtx(0, &probe, nullptr, context.Put());
  void* object = nullptr;
  moniker->BindToStorage(context.Get(), nullptr, IID_IStream, &object);
  ASSERT_TRUE(test::WaitUntil([&] { return !probe.body.empty(); }));
  probe.binding->Abort();
  ASSERT_TRUE(test::WaitUntil([&] { return probe.stopped; }));
  EXPECT_EQ(probe.stopResult, E_ABORT);

  Probe refused;
  Bind(refused, "http://127.0.0.1:1/nothing-listens-here");
  EXPECT_EQ(refused.stopResult, INET_E_RESOURCE_NOT_FOUND);
  EXPECT_EQ(IsValidURL(nullptr, u"not an address", 0), S_FALSE);
  EXPECT_EQ(IsValidURL(nullptr, u"http://h/a b", 0), S_OK);
}

}  // namespace
}  // namespace leafstash
