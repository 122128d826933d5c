#include "platform/com.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "html/text_utils.h"

namespace leafstash {

bool operator==(const GUID& A, const GUID& B) {
  return A.Data1 == B.Data1 && A.Data2 == B.Data2 && A.Data3 == B.Data3 &&
         std::memcmp(A.Data4, B.Data4, sizeof A.Data4) == 0;
}

HRESULT HResultFromErrno(int Errno) {
  switch (Errno) {
    case EACCES:
    case EPERM:
    case EROFS:
      return E_ACCESSDENIED;
    case ENOSPC:
      return MakeHResult(0x80070070u);  // disk full
    case ENOENT:
      return MakeHResult(0x80070002u);  // file not found
    case ENOMEM:
      return E_OUTOFMEMORY;
    default:
      return MakeHResult(0x80070000u | (static_cast<std::uint32_t>(Errno) & 0xFFFF));
  }
}

int ErrnoFromHResult(HRESULT Result) {
  const auto bits = static_cast<std::uint32_t>(Result);
  if ((bits & 0xFFFF0000u) != 0x80070000u || Result == E_FILE_TOO_LARGE) return 0;
  switch (bits) {
    case 0x80070005u: return EACCES;
    case 0x80070070u: return ENOSPC;
    case 0x80070002u: return ENOENT;
    case 0x8007000Eu: return ENOMEM;
    default: return static_cast<int>(bits & 0xFFFF);
  }
}

void* CoTaskMemAlloc(std::size_t Size) { return std::malloc(Size ? Size : 1); }
void CoTaskMemFree(void* Memory) { std::free(Memory); }
HGLOBAL GlobalAlloc(std::size_t Size) { return std::calloc(Size ? Size : 1, 1); }
void GlobalFree(HGLOBAL Block) { std::free(Block); }

namespace {
thread_local int comInitCount = 0;
}

HRESULT CoInitialize(void*) { return comInitCount++ == 0 ? S_OK : S_FALSE; }
void CoUninitialize() {
  if (comInitCount > 0) --comInitCount;
}

std::u16string AnsiToWide(std::string_view Text) {
  std::u16string out;
  out.reserve(Text.size());
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(Text[k]); };
  for (std::size_t i = 0; i < Text.size();) {
    const unsigned char c = byte(i);
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) { len = 1; cp = c; }
    else if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
    bool valid = len > 0 && i + len <= Text.size();
    for (std::size_t k = 1; valid && k < len; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) valid = false;
      else cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    if (valid && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                  (cp >= 0xD800 && cp <= 0xDFFF)))
      valid = false;
    if (!valid) {
      out += static_cast<char16_t>(0xDC00 + c);  // U+DC80..U+DCFF
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

std::string WideToAnsi(std::u16string_view Text) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    std::uint32_t cp = Text[i];
    if (cp >= 0xDC80 && cp <= 0xDCFF) {  // a byte kept from invalid UTF-8
      out += static_cast<char>(cp - 0xDC00);
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 &&
        Text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (Text[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::size_t WideLength(LPCWSTR Text) {
  std::size_t n = 0;
  if (Text)
    while (Text[n]) ++n;
  return n;
}

std::string WideToAnsi(LPCWSTR Text) {
  return Text ? WideToAnsi(std::u16string_view(Text, WideLength(Text))) : std::string();
}

LPWSTR CoTaskStrDup(std::string_view Text, bool KeepEmpty) {
  if (Text.empty() && !KeepEmpty) return nullptr;
  const std::u16string wide = AnsiToWide(Text);
  auto* out = static_cast<LPWSTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(WCHAR)));
  if (!out) return nullptr;
  std::memcpy(out, wide.data(), wide.size() * sizeof(WCHAR));
  out[wide.size()] = 0;
  return out;
}

}  // namespace leafstash
