#include "engine/job_texts.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "platform/com.h"
#include "platform/files/file_utils.h"
#include "html/text_utils.h"

namespace leafstash {

std::optional<std::string> ReadPageText(const std::string& Path) {
  struct stat info;
  if (::lstat(Path.c_str(), &info) != 0 || info.st_size > kMaxScannedPage) return std::nullopt;
  std::optional<std::string> text;
  try {
    text = ReadFileNoFollow(Path);
  } catch (const TFileError&) {
    return std::nullopt;
  }
  if (!text || !IsTextPage(*text)) return std::nullopt;
  return text;
}

std::string WithCrLfLines(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() + Text.size() / 32);
  ForEachLine(Text, [&](std::string_view line) { out.append(line).append("\r\n"); });
  return out;
}

std::string FragmentAsWritten(std::string_view Link) {
  std::size_t at = Link.find('#');
  while (at != std::string_view::npos && at > 0 && Link[at - 1] == '&') at = Link.find('#', at + 1);
  if (at == std::string_view::npos) return {};
  std::string fragment(Link.substr(at));
  StripChars(fragment, LinkStripSet());
  return fragment;
}

int RoundedPercent(long long Position, long long Maximum) {
  if (Maximum <= 0) return 0;
  const long long numerator = Position * 100;
  long long q = numerator / Maximum;
  const long long r = numerator % Maximum;
  if (2 * r > Maximum || (2 * r == Maximum && (q % 2) != 0)) ++q;
  return static_cast<int>(q);
}

std::string JobTitle(long long Position, long long Maximum, const std::string& PageTitle) {
  std::string percent;
  if (Maximum == 0) {
    percent = "100%";
  } else {
    int r = RoundedPercent(Position, Maximum);
    if (r > 0) --r;
    percent = std::to_string(r) + "% ";
  }
  return percent + " Leafstash: " + PageTitle;
}

std::string DescribeFailure(HRESULT Result, std::uint32_t ResponseCode) {
  if (ResponseCode >= 400) return "HTTP " + std::to_string(ResponseCode);
  switch (Result) {
    case E_ABORT: return "cancelled";
    case INET_E_CONNECTION_TIMEOUT: return "timed out: no data came";
    case INET_E_RESOURCE_NOT_FOUND: return "cannot connect: refused or host not found";
    case INET_E_DATA_NOT_AVAILABLE: return "the connection closed before the answer was whole";
    case INET_E_REDIRECT_FAILED: return "too many redirections, or one to an address that is not http";
    case INET_E_SECURITY_PROBLEM: return "the server's certificate is not trusted";
    case MK_E_SYNTAX: return "not a valid address";
    case INET_E_UNKNOWN_PROTOCOL: return "not an http or https address";
    case E_FILE_TOO_LARGE: return "its compressed content expands more than 1000 times";
    case INET_E_DOWNLOAD_FAILURE: return "the transfer failed";
    default: break;
  }
  if (const int error = ErrnoFromHResult(Result)) return std::strerror(error);
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(Result));
  return std::string("failed with code ") + code;
}

}  // namespace leafstash
