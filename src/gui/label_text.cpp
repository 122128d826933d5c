#include "gui/label_text.h"

#include <QLabel>

namespace leafstash {

QString PlainHint(const QString& Text) {
  return Text.isEmpty() ? QString() : "<span>" + Text.toHtmlEscaped() + "</span>";
}

void ShowCutToFit(QLabel* Label, const QString& Text, Qt::TextElideMode Mode) {
  Label->setText(Label->fontMetrics().elidedText(Text, Mode, Label->width()));
  Label->setToolTip(PlainHint(Text));
}

}  // namespace leafstash
