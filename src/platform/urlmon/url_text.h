// Address text as the transfer layer needs it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace leafstash {

// The address ready for a request: bytes not allowed in an address (blanks,
// controls, bytes of 0x80 and above, '"', '<', '>', '\', '^', '`', '{', '|',
// '}', a '%' not followed by two hex digits) are percent-encoded after the
// host part; nothing when libcurl cannot parse it or does not support its
// scheme.
std::optional<std::string> RequestUrl(std::string_view Address);

// Lower-case scheme name ("http"), empty when the address has none.
std::string SchemeOf(std::string_view Address);
// Lower-case host name of an address, empty when it has none.
std::string HostOf(std::string_view Address);
// Scheme, host and port ("http://h:80"), the default port written out: two
// addresses with the same origin are the same server.
std::string OriginOf(std::string_view Address);

// The Referer a browser sends with a request to Target made from Page,
// under the browsers' default policy: Page without its fragment and user
// name to its own origin, Page's origin alone ("https://h/") to another,
// nothing from https to anything else. Empty: no header.
std::string ReferrerFor(std::string_view Page, std::string_view Target);

}  // namespace leafstash
