#include "gui/refusal_note.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
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
  // Screen readers announce it as an alert.
  setAccessibleName("Refusal");
  hide();
}

void TRefusalNote::ShowFor(QWidget* Control, const QString& Text, QRect Area) {
  if (control_) control_->removeEventFilter(this);
  control_ = Control;
  Control->installEventFilter(this);
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
}

bool TRefusalNote::eventFilter(QObject* Watched, QEvent* Event) {
  // Typing into the control or clicking it takes the note away.
  const QEvent::Type type = Event->type();
  if (Watched == control_ && (type == QEvent::KeyPress || type == QEvent::MouseButtonPress ||
                              type == QEvent::Hide)) {
    const bool editing = type != QEvent::KeyPress ||
                         !static_cast<QKeyEvent*>(Event)->text().isEmpty() ||
                         static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Backspace ||
                         static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Delete;
    if (editing) hide();
  }
  return QLabel::eventFilter(Watched, Event);
}

}  // namespace leafstash
