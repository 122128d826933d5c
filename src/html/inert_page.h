// A page that the browser handed over as it showed it, made into a copy
// that stays as it was when it is opened: nothing in it runs or reloads,
// and it declares the character set it is written in.
#pragma once

#include <string>
#include <string_view>

namespace leafstash {

// The page (UTF-8) with
// - every script element that runs code removed with its text (no type, a
//   JavaScript type, "module", "importmap", "speculationrules"); data
//   blocks such as application/ld+json or text/template stay;
// - every event-handler attribute (on...) removed;
// - javascript: addresses made harmless: the href of a or area becomes
//   "#", so that it stays a link; any other attribute holding one goes;
// - meta refresh and content-security-policy elements removed;
// - every charset declaration replaced by one <meta charset="utf-8">,
//   first in the head;
// - the pages of srcdoc attributes made inert the same way, eight deep.
// What is not markup (text, comments, style sheets) is left as it is.
std::string InertPage(std::string_view Html);

}  // namespace leafstash
