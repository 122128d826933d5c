// Why the window refused what the user asked: a short text shown next to
// the control concerned, in the colours of a tool tip, until the user
// changes that control, asks again or goes to another page. The beep that
// goes with a refusal is silent on many desktops; this is what tells.
#pragma once

#include <QLabel>
#include <QPointer>

namespace leafstash {

class TRefusalNote : public QLabel {
 public:
  // Lives on Window, above every other control.
  explicit TRefusalNote(QWidget* Window);

  // Shows Text under Area (in Control's coordinates; the whole control
  // when empty), or above it where there is no room below.
  void ShowFor(QWidget* Control, const QString& Text, QRect Area = QRect());
  // The control the note is about, while it is shown.
  QWidget* Control() const { return isVisible() ? control_.data() : nullptr; }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  // A click on the note puts it away, uncovering what lies beneath.
  void mousePressEvent(QMouseEvent*) override { hide(); }

 private:
  QPointer<QWidget> control_;
  QMetaObject::Connection edited_;
};

}  // namespace leafstash
