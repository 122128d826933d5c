// The component-object basics the download stand-in and its callers use:
// status codes, interface identifiers, IUnknown, the task allocator and the
// conversion between 8-bit and wide text.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com_types.h"

namespace leafstash {

using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using HWND = std::uintptr_t;
using HGLOBAL = void*;

constexpr HRESULT E_ABORT = MakeHResult(0x80004004u);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
constexpr HRESULT E_PENDING = MakeHResult(0x8000000Au);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);
constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
constexpr HRESULT MK_S_ASYNCHRONOUS = 0x000401E8;
constexpr HRESULT MK_E_SYNTAX = MakeHResult(0x800401E4u);
constexpr HRESULT STG_E_INVALIDFUNCTION = MakeHResult(0x80030001u);

constexpr HRESULT INET_E_INVALID_URL = MakeHResult(0x800C0002u);
constexpr HRESULT INET_E_NO_SESSION = MakeHResult(0x800C0003u);
constexpr HRESULT INET_E_CANNOT_CONNECT = MakeHResult(0x800C0004u);
constexpr HRESULT INET_E_RESOURCE_NOT_FOUND = MakeHResult(0x800C0005u);
constexpr HRESULT INET_E_OBJECT_NOT_FOUND = MakeHResult(0x800C0006u);
constexpr HRESULT INET_E_DATA_NOT_AVAILABLE = MakeHResult(0x800C0007u);
constexpr HRESULT INET_E_DOWNLOAD_FAILURE = MakeHResult(0x800C0008u);
constexpr HRESULT INET_E_AUTHENTICATION_REQUIRED = MakeHResult(0x800C0009u);
constexpr HRESULT INET_E_NO_VALID_MEDIA = MakeHResult(0x800C000Au);
constexpr HRESULT INET_E_CONNECTION_TIMEOUT = MakeHResult(0x800C000Bu);
constexpr HRESULT INET_E_INVALID_REQUEST = MakeHResult(0x800C000Cu);
constexpr HRESULT INET_E_UNKNOWN_PROTOCOL = MakeHResult(0x800C000Du);
constexpr HRESULT INET_E_SECURITY_PROBLEM = MakeHResult(0x800C000Eu);
constexpr HRESULT INET_E_CANNOT_LOAD_DATA = MakeHResult(0x800C000Fu);
constexpr HRESULT INET_E_REDIRECT_FAILED = MakeHResult(0x800C0014u);
// The platform's "file exceeds the limit allowed": here a response whose
// content encoding expands it past all reason.
constexpr HRESULT E_FILE_TOO_LARGE = MakeHResult(0x800700DFu);

// The status of a failed system call (errno) in HRESULT form.
HRESULT HResultFromErrno(int Errno);
// The errno a code of HResultFromErrno stands for; 0 for any other code.
int ErrnoFromHResult(HRESULT Result);

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
  friend bool operator==(const GUID& A, const GUID& B);
};
using IID = GUID;
using REFIID = const IID&;

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IBindCtx = {0x0000000E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IMoniker = {0x0000000F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IBinding = {0x79EAC9C0, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IBindStatusCallback = {0x79EAC9C1, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IAuthenticate = {0x79EAC9D0, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IHttpNegotiate = {0x79EAC9D2, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IWindowForBindingUI = {0x79EAC9D5, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IWinInetInfo = {0x79EAC9D6, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IHttpSecurity = {0x79EAC9D7, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IWinInetHttpInfo = {0x79EAC9D8, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
// Our own interface: not the platform's.
inline constexpr IID IID_IRequestContext = {0x6C5E1A37, 0x2F4B, 0x4D0E, {0x9A, 0x61, 0x3B, 0x12, 0x7C, 0x40, 0xE5, 0x9D}};

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID Riid, void** Object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Holds one counted reference to an interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* Pointer) : p_(Pointer) { if (p_) p_->AddRef(); }
  ComPtr(const ComPtr& Other) : ComPtr(Other.p_) {}
  ComPtr(ComPtr&& Other) noexcept : p_(Other.p_) { Other.p_ = nullptr; }
  ~ComPtr() { Reset(); }
  ComPtr& operator=(ComPtr Other) noexcept {
    std::swap(p_, Other.p_);
    return *this;
  }
  // Takes over a reference the caller already holds.
  static ComPtr Adopt(T* Pointer) {
    ComPtr result;
    result.p_ = Pointer;
    return result;
  }
  void Reset() {
    if (p_) {
      T* old = p_;
      p_ = nullptr;
      old->Release();
    }
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held and gives its slot.
  T** Put() {
    Reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};

// A counted object that answers IUnknown and one interface of its own; it
// deletes itself with its last reference.
template <typename Interface>
class TComObject : public Interface {
 public:
  explicit TComObject(REFIID Own) : own_(Own) {}
  HRESULT QueryInterface(REFIID Riid, void** Object) override {
    if (!Object) return E_POINTER;
    if (Riid == IID_IUnknown || Riid == own_) {
      *Object = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ~TComObject() override = default;

 private:
  const IID own_;
  std::atomic<ULONG> references_{1};
};

// The interface Riid of Object, as a new reference, or nothing.
template <typename T>
ComPtr<T> QueryAs(IUnknown* Object, REFIID Riid) {
  void* found = nullptr;
  if (!Object || FAILED(Object->QueryInterface(Riid, &found)) || !found) return {};
  return ComPtr<T>::Adopt(static_cast<T*>(found));
}

// The task allocator: memory handed across the interfaces.
void* CoTaskMemAlloc(std::size_t Size);
void CoTaskMemFree(void* Memory);
// Zero-filled fixed memory blocks (request bodies).
HGLOBAL GlobalAlloc(std::size_t Size);
void GlobalFree(HGLOBAL Block);

// The component-object library of the thread; counted like the platform's.
HRESULT CoInitialize(void* Reserved = nullptr);
void CoUninitialize();

// 8-bit (UTF-8) text to wide text and back. Every byte sequence survives the
// round trip: a byte that is not part of valid UTF-8 (0x80 to 0xFF) becomes
// the lone surrogate U+DC80 to U+DCFF.
std::u16string AnsiToWide(std::string_view Text);
std::string WideToAnsi(std::u16string_view Text);
std::string WideToAnsi(LPCWSTR Text);  // a null pointer is empty text
// A NUL-terminated copy from the task allocator; empty text gives null
// unless KeepEmpty.
LPWSTR CoTaskStrDup(std::string_view Text, bool KeepEmpty = false);
// Length of a NUL-terminated wide string.
std::size_t WideLength(LPCWSTR Text);

}  // namespace leafstash
