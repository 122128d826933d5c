// The help window: the language's help file (HTML) opened at the anchor of
// a help context. One window, reused by every Help press.
#pragma once

#include <QWidget>
#include <string>

class QTextBrowser;

namespace leafstash {

class THelpWindow : public QWidget {
 public:
  explicit THelpWindow(QWidget* Parent);

  // Shows File at the anchor "#<Context>" and brings the window up; a file
  // that is missing is reported, and the window stays as it was.
  void ShowContext(const std::string& File, int Context);

  QTextBrowser* Browser;

 private:
  void LinkClicked(const QUrl& Url);
};

}  // namespace leafstash
