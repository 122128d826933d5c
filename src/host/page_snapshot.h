// The browser window object built from a snapshot of the page (JSON):
//   { "url", "title", "documentUrl", "selectionHtml",
//     "links": [ { "href", "innerText" } ],
//     "frames": [ { "location", "title" } ] }
// The window answers parent, document, frames; the parent's document Url
// and Title; the window's document URL, selection (createRange, HtmlText)
// and Links (Length, Item, href, innerText); each frame document.Title and
// location. A member missing from the snapshot is missing from the objects,
// so reading it is an automation error.
#pragma once

#include <stdexcept>
#include <string_view>

#include "platform/browser_handover.h"
#include "platform/automation/variant.h"

namespace leafstash {

class SnapshotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The window object and what else the browser handed over:
//   "userAgent": text,
//   "cookies": [ { "name", "value", "domain", "hostOnly", "path", "secure",
//                  "httpOnly", "sameSite" ("no_restriction", "lax",
//                  "strict", "unspecified"), "expirationDate" (seconds) } ],
//   "documents": [ { "url", "html" } ]   (the page and its frames as shown)
// Each is optional.
struct TSnapshot {
  Variant Window;
  TBrowserHandover Handover;
};

// Throws SnapshotError for text that is not a JSON object of that form. The
// error names the member that is wrong, never a value: the snapshot holds
// the user's cookies and pages.
TSnapshot ReadSnapshot(std::string_view Json);
Variant BuildWindowFromSnapshot(std::string_view Json);

}  // namespace leafstash
