#include "gui/open_address.h"

#include <QDesktopServices>
#include <QUrl>

namespace leafstash {

bool OpenWebOrMailAddress(const QUrl& Url) {
  const QString scheme = Url.scheme().toLower();
  if (!Url.isValid() || (scheme != "http" && scheme != "https" && scheme != "mailto"))
    return false;
  QDesktopServices::openUrl(Url);
  return true;
}

}  // namespace leafstash
