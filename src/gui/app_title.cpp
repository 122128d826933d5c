#include "gui/app_title.h"

#include <QApplication>
#include <QWidget>

namespace leafstash {
namespace {
std::string& Title() {
  static std::string title;
  return title;
}
}  // namespace

void SetApplicationTitle(const std::string& Title_) {
  Title() = Title_;
  const QString text = QString::fromStdString(Title_);
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
    for (QWidget* window : QApplication::topLevelWidgets()) window->setWindowIconText(text);
}

const std::string& ApplicationTitle() { return Title(); }

QString AsCaption(const std::string& Text) {
  return QString::fromStdString(Text).replace("[*]", "[*][*]");
}

}  // namespace leafstash
