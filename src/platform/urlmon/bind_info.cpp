// What a bind tells about its response: the headers, and the answers of
// the HTTP information interface.
#include <cstring>

#include "platform/urlmon/bind_operation.h"

namespace leafstash {

std::string BindOperation::Header(const std::string& LowerName) const {
  auto it = headers_.find(LowerName);
  return it == headers_.end() ? std::string() : it->second;
}

HRESULT BindOperation::QueryInfo(DWORD Option, void* Buffer, DWORD* Size, DWORD* Flags,
                                 DWORD*) {
  (void)Flags;
  if (!Size) return E_POINTER;
  const DWORD query = Option & 0xFFFF;
  const bool number = (Option & HTTP_QUERY_FLAG_NUMBER) != 0;
  std::string text;
  switch (query) {
    case HTTP_QUERY_CONTENT_LENGTH: {
      text = Header("content-length");
      if (text.empty() || text[0] == '-') return HTTP_E_HEADER_NOT_FOUND;
      break;
    }
    case HTTP_QUERY_CONTENT_TYPE: text = Header("content-type"); break;
    case HTTP_QUERY_ACCEPT_RANGES: text = Header("accept-ranges"); break;
    case HTTP_QUERY_STATUS_CODE: text = std::to_string(status_); break;
    case HTTP_QUERY_RAW_HEADERS_CRLF: text = rawHeaders_; break;
    default: return HTTP_E_HEADER_NOT_FOUND;
  }
  if (text.empty() && query != HTTP_QUERY_RAW_HEADERS_CRLF) return HTTP_E_HEADER_NOT_FOUND;
  if (number) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (end == text.c_str()) return HTTP_E_HEADER_NOT_FOUND;
    if (*Size >= 8) {
      std::uint64_t v = value;
      std::memcpy(Buffer, &v, 8);
      *Size = 8;
    } else if (*Size >= 4 && value <= 0xFFFFFFFFull) {
      std::uint32_t v = static_cast<std::uint32_t>(value);
      std::memcpy(Buffer, &v, 4);
      *Size = 4;
    } else {
      return E_INSUFFICIENT_BUFFER;
    }
    return S_OK;
  }
  if (!Buffer || *Size < text.size() + 1) {
    *Size = static_cast<DWORD>(text.size() + 1);
    return E_INSUFFICIENT_BUFFER;
  }
  std::memcpy(Buffer, text.c_str(), text.size() + 1);
  *Size = static_cast<DWORD>(text.size());
  return S_OK;
}

}  // namespace leafstash
