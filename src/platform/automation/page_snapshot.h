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

#include "variant.h"

namespace leafstash {

class SnapshotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws SnapshotError for text that is not a JSON object of that form.
Variant BuildWindowFromSnapshot(std::string_view Json);

}  // namespace leafstash
