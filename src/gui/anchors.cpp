#include "gui/anchors.h"

#include <QEvent>
#include <QWidget>

namespace leafstash {

void TAnchors::Anchor(QWidget* Control, unsigned Sides, QSize ParentDesigned) {
  anchored_.push_back({Control, Sides, Control->geometry(), ParentDesigned});
  Control->parentWidget()->installEventFilter(this);
}

bool TAnchors::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::Resize)
    for (const TAnchored& item : anchored_)
      if (item.Control->parentWidget() == Watched) Place(item);
  return false;
}

void TAnchors::Place(const TAnchored& Item) const {
  const QSize now = Item.Control->parentWidget()->size();
  const int dx = now.width() - Item.ParentDesigned.width();
  const int dy = now.height() - Item.ParentDesigned.height();
  QRect r = Item.Designed;
  if (Item.Sides & akRight) {
    if (Item.Sides & akLeft)
      r.setWidth(r.width() + dx);
    else
      r.moveLeft(r.left() + dx);
  }
  if (Item.Sides & akBottom) {
    if (Item.Sides & akTop)
      r.setHeight(r.height() + dy);
    else
      r.moveTop(r.top() + dy);
  }
  Item.Control->setGeometry(r);
}

}  // namespace leafstash
