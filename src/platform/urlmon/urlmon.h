// The URL moniker service: the interfaces, structures and constants of the
// platform's asynchronous URL download service, carried out with libcurl on
// the Qt event loop. Callbacks of an asynchronous bind arrive from the event
// loop, never from inside the call that started the bind.
#pragma once

#include <cstdint>

#include "platform/com.h"

namespace leafstash {

// Bind flags (BINDF_).
enum : DWORD {
  BINDF_ASYNCHRONOUS = 0x1,
  BINDF_ASYNCSTORAGE = 0x2,
  BINDF_NOPROGRESSIVERENDERING = 0x4,
  BINDF_OFFLINEOPERATION = 0x8,
  BINDF_GETNEWESTVERSION = 0x10,
  BINDF_NOWRITECACHE = 0x20,
  BINDF_NEEDFILE = 0x40,
  BINDF_PULLDATA = 0x80,
  BINDF_IGNORESECURITYPROBLEM = 0x100,
  BINDF_RESYNCHRONIZE = 0x200,
  BINDF_HYPERLINK = 0x400,
  BINDF_NO_UI = 0x800,
  BINDF_SILENTOPERATION = 0x1000,
  BINDF_PRAGMA_NO_CACHE = 0x2000,
  BINDF_GETCLASSOBJECT = 0x4000,
  BINDF_RESERVED_1 = 0x8000,
  BINDF_FREE_THREADED = 0x10000,
  BINDF_DIRECT_READ = 0x20000,
  BINDF_FORMS_SUBMIT = 0x40000,
  BINDF_GETFROMCACHE_IF_NET_FAIL = 0x80000,
  BINDF_FROMURLMON = 0x100000,
  BINDF_FWD_BACK = 0x200000,
  BINDF_RESERVED_2 = 0x400000,
  BINDF_RESERVED_3 = 0x800000,
};

// Data notification flags (BSCF_).
enum : DWORD {
  BSCF_FIRSTDATANOTIFICATION = 0x1,
  BSCF_INTERMEDIATEDATANOTIFICATION = 0x2,
  BSCF_LASTDATANOTIFICATION = 0x4,
  BSCF_DATAFULLYAVAILABLE = 0x8,
  BSCF_AVAILABLEDATASIZEUNKNOWN = 0x10,
};

// Binding status codes of OnProgress (BINDSTATUS_).
enum : ULONG {
  BINDSTATUS_FINDINGRESOURCE = 1,
  BINDSTATUS_CONNECTING = 2,
  BINDSTATUS_REDIRECTING = 3,
  BINDSTATUS_BEGINDOWNLOADDATA = 4,
  BINDSTATUS_DOWNLOADINGDATA = 5,
  BINDSTATUS_ENDDOWNLOADDATA = 6,
  BINDSTATUS_BEGINDOWNLOADCOMPONENTS = 7,
  BINDSTATUS_INSTALLINGCOMPONENTS = 8,
  BINDSTATUS_ENDDOWNLOADCOMPONENTS = 9,
  BINDSTATUS_USINGCACHEDCOPY = 10,
  BINDSTATUS_SENDINGREQUEST = 11,
  BINDSTATUS_CLASSIDAVAILABLE = 12,
  BINDSTATUS_MIMETYPEAVAILABLE = 13,
};

enum : DWORD { BINDVERB_GET = 0, BINDVERB_POST = 1, BINDVERB_PUT = 2, BINDVERB_CUSTOM = 3 };
enum : DWORD { TYMED_NULL = 0, TYMED_HGLOBAL = 1, TYMED_FILE = 2, TYMED_ISTREAM = 4 };

// Queries of IWinInetHttpInfo::QueryInfo.
enum : DWORD {
  HTTP_QUERY_CONTENT_TYPE = 1,
  HTTP_QUERY_CONTENT_LENGTH = 5,
  HTTP_QUERY_STATUS_CODE = 19,
  HTTP_QUERY_RAW_HEADERS_CRLF = 22,
  HTTP_QUERY_ACCEPT_RANGES = 42,
  HTTP_QUERY_FLAG_NUMBER = 0x20000000,
};

// Problems reported to IHttpSecurity::OnSecurityProblem.
enum : DWORD {
  ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037,
  ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038,
  ERROR_INTERNET_INVALID_CA = 12045,
};

constexpr HRESULT HTTP_E_HEADER_NOT_FOUND = MakeHResult(0x80072F76u);
constexpr HRESULT E_INSUFFICIENT_BUFFER = MakeHResult(0x8007007Au);

class IStream;

struct STGMEDIUM {
  DWORD tymed = TYMED_NULL;
  HGLOBAL hGlobal = nullptr;  // TYMED_HGLOBAL
  IStream* pstm = nullptr;    // TYMED_ISTREAM
  IUnknown* pUnkForRelease = nullptr;
};

struct FORMATETC {
  std::uint16_t cfFormat = 0;
  DWORD tymed = TYMED_NULL;
};

struct SECURITY_ATTRIBUTES {
  DWORD nLength = 0;
  const void* lpSecurityDescriptor = nullptr;
  BOOL bInheritHandle = 0;
};

struct BINDINFO {
  ULONG cbSize = 0;
  LPWSTR szExtraInfo = nullptr;
  STGMEDIUM stgmedData;
  DWORD grfBindInfoF = 0;
  DWORD dwBindVerb = BINDVERB_GET;
  LPWSTR szCustomVerb = nullptr;
  DWORD cbstgmedData = 0;
  DWORD dwOptions = 0;
  DWORD dwOptionsFlags = 0;
  DWORD dwCodePage = 0;
  SECURITY_ATTRIBUTES securityAttributes;
  IID iid = IID_IUnknown;
  IUnknown* pUnk = nullptr;
  DWORD dwReserved = 0;
};

// Releases what a storage medium holds: its releasing object when it has
// one, otherwise its memory block or stream.
void ReleaseStgMedium(STGMEDIUM& Medium);
// Frees the strings and the body of a bind information filled by a callback.
void ReleaseBindInfo(BINDINFO& Info);

enum : DWORD { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };

struct STATSTG {
  std::uint64_t cbSize = 0;
};

class IStream : public IUnknown {
 public:
  // Copies up to Size bytes of what has arrived; 0 bytes when none has.
  virtual HRESULT Read(void* Buffer, ULONG Size, ULONG* Read) = 0;
  virtual HRESULT Write(const void* Buffer, ULONG Size, ULONG* Written) = 0;
  virtual HRESULT Seek(std::int64_t Move, DWORD Origin, std::uint64_t* NewPosition) = 0;
  virtual HRESULT Stat(STATSTG* Stat, DWORD Flag) = 0;
};

class IBinding : public IUnknown {
 public:
  virtual HRESULT Abort() = 0;
  virtual HRESULT Suspend() = 0;
  virtual HRESULT Resume() = 0;
  virtual HRESULT SetPriority(LONG Priority) = 0;
  virtual HRESULT GetPriority(LONG* Priority) = 0;
};

class IWinInetHttpInfo : public IUnknown {
 public:
  // Answers from the response headers: with HTTP_QUERY_FLAG_NUMBER a 4- or
  // 8-byte number, otherwise NUL-terminated text.
  virtual HRESULT QueryInfo(DWORD Option, void* Buffer, DWORD* Size, DWORD* Flags,
                            DWORD* Reserved) = 0;
};

constexpr LONG THREAD_PRIORITY_NORMAL = 0;

class IBindStatusCallback : public IUnknown {
 public:
  virtual HRESULT OnStartBinding(DWORD Reserved, IBinding* Binding) = 0;
  virtual HRESULT GetPriority(LONG* Priority) = 0;
  virtual HRESULT OnLowResource(DWORD Reserved) = 0;
  virtual HRESULT OnProgress(ULONG Progress, ULONG ProgressMax, ULONG StatusCode,
                             LPCWSTR StatusText) = 0;
  virtual HRESULT OnStopBinding(HRESULT Result, LPCWSTR Error) = 0;
  virtual HRESULT GetBindInfo(DWORD* BindFlags, BINDINFO* BindInfo) = 0;
  // Size is the number of body bytes that have arrived so far.
  virtual HRESULT OnDataAvailable(DWORD Flags, std::uint64_t Size, FORMATETC* Format,
                                  STGMEDIUM* Medium) = 0;
  virtual HRESULT OnObjectAvailable(REFIID Riid, IUnknown* Object) = 0;
};

class IHttpNegotiate : public IUnknown {
 public:
  virtual HRESULT BeginningTransaction(LPCWSTR Url, LPCWSTR Headers, DWORD Reserved,
                                       LPWSTR* AdditionalHeaders) = 0;
  virtual HRESULT OnResponse(DWORD ResponseCode, LPCWSTR ResponseHeaders,
                             LPCWSTR RequestHeaders, LPWSTR* AdditionalRequestHeaders) = 0;
};

// Credentials for a server that answered 401. E_PENDING says the answer
// comes later: the bind then waits, holding no connection, until the
// callback calls IBinding::Resume, and asks again. When it then gets none,
// the request is made once more and the server's refusal is the answer.
class IAuthenticate : public IUnknown {
 public:
  virtual HRESULT Authenticate(HWND* Window, LPWSTR* UserName, LPWSTR* Password) = 0;
};

class IWindowForBindingUI : public IUnknown {
 public:
  virtual HRESULT GetWindow(REFIID Reason, HWND* Window) = 0;
};

class IHttpSecurity : public IWindowForBindingUI {
 public:
  virtual HRESULT OnSecurityProblem(DWORD Problem) = 0;
};

// Where a request stands in the browser's session, asked of the bind's
// callback before each request as IHttpNegotiate is: the address of the
// page it is made for (the page's site decides which SameSite cookies go
// with it; a null address: a page opened by itself) and whether it opens
// a page from a link rather than loads something for one. A callback
// without it makes requests of the page's own site.
class IRequestContext : public IUnknown {
 public:
  virtual HRESULT GetRequestContext(LPWSTR* FirstPartyUrl, BOOL* Navigation) = 0;
};

class IBindCtx : public IUnknown {};

class IMoniker : public IUnknown {
 public:
  // Starts the download of the moniker's address as a stream. S_OK: a
  // synchronous bind, already over; MK_S_ASYNCHRONOUS: under way.
  virtual HRESULT BindToStorage(IBindCtx* Context, IMoniker* Left, REFIID Riid,
                                void** Object) = 0;
};

HRESULT CreateURLMoniker(IMoniker* Context, LPCWSTR Url, IMoniker** Moniker);
HRESULT CreateAsyncBindCtx(DWORD Reserved, IBindStatusCallback* Callback, void* FormatEnum,
                           IBindCtx** Context);
// S_OK when the address can be parsed and libcurl supports its scheme
// (characters not allowed in an address are encoded before the request).
HRESULT IsValidURL(IBindCtx* Context, LPCWSTR Url, DWORD Reserved);

// Transfers under way in the process (for tests: all finished means 0).
std::size_t ActiveBindCount();

}  // namespace leafstash
