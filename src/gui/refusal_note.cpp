#include "gui/refusal_note.h"

#include <QAccessible>
#include <QEvent>
#include <QLineEdit>

namespace leafstash {
namespace {

constexpr int kGap = 2;
constexpr int kMargin = 4;

}  // namespace

TRefusalNote::TRefusalNote(QWidget* Window) : QLabel(Window) {
  setObjectName("RefusalNote");
  setWordWrap(true);
  setTextFormat(Qt::PlainText);
  setFrameShape(QFrame::Box);
  setMargin(kMargin);
  setForegroundRole(QPalette::ToolTipText);
  setBackgroundRole(QPalette::ToolTipBase);
  setAutoFillBackground(true);
  setAccessibleName("Refusal");
  hide();
}

void TRefusalNote::ShowFor(QWidget* Control, const QString& Text, QRect Area) {
  if (control_) control_->removeEventFilter(this);
  QObject::disconnect(edited_);
  control_ = Control;
  Control->installEventFilter(this);
  // A new text in the box, typed or chosen, answers the refusal.
  if (auto* edit = qobject_cast<QLineEdit*>(Control))
    edited_ = connect(edit, &QLineEdit::textChanged, this, &QWidget::hide);
  if (Area.isEmpty()) Area = Control->rect();
  setText(Text);
  QWidget* window = parentWidget();
  const QRect area(Control->mapTo(window, Area.topLeft()), Area.size());
  const int room = window->width() - 2 * kGap;
  const int width = std::min(room, std::max(area.width(), 260));
  const int height = heightForWidth(width);
  const int left = std::clamp(area.left(), kGap, window->width() - kGap - width);
  const int below = area.bottom() + 1 + kGap;
  const int top = below + height <= window->height() ? below : std::max(0, area.top() - kGap - height);
  setGeometry(left, top, width, height);
  raise();
  show();
  QAccessibleEvent alert(this, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

bool TRefusalNote::eventFilter(QObject* Watched, QEvent* Event) {
  // A click on the control, or the control going away or out of use (a
  // subfolder no longer asked for), takes the note away.
  const QEvent::Type type = Event->type();
  if (Watched == control_ && (type == QEvent::MouseButtonPress || type == QEvent::Hide ||
                              (type == QEvent::EnabledChange && !control_->isEnabled())))
    hide();
  return QLabel::eventFilter(Watched, Event);
}

}  // namespace leafstash
