// Stands in for the desktop's "open": keeps each address the program asks
// it to open (QDesktopServices::setUrlHandler(scheme, &opened, "Open")).
#pragma once

#include <QObject>
#include <QUrl>
#include <string>
#include <vector>

namespace leafstash::test {

class TOpenedUrls : public QObject {
  Q_OBJECT
 public:
  std::vector<std::string> Urls;
 public slots:
  void Open(const QUrl& Url) { Urls.push_back(Url.toString().toStdString()); }
};

}  // namespace leafstash::test
