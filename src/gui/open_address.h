// Hands an address to the desktop to open, when it is a web or mail
// address: addresses from files and pages never start anything else.
#pragma once

class QUrl;

namespace leafstash {

// Opens Url with the desktop when its scheme is http, https or mailto;
// false, and nothing opened, for anything else.
bool OpenWebOrMailAddress(const QUrl& Url);

}  // namespace leafstash
