#include "gui/error_box.h"

#include <QMessageBox>

#include "gui/app_title.h"

namespace leafstash {

void ShowErrorBox(QWidget* Parent, const std::string& Text) {
  QMessageBox box(QMessageBox::Critical, AsCaption(ApplicationTitle()),
                  QString::fromStdString(Text), QMessageBox::Ok, Parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace leafstash
