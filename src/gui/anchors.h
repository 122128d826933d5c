// Anchors: a control keeps its distance to the edges of its parent that it
// is anchored to. A control anchored left and right grows with its parent;
// one anchored right only moves with the right edge; the same for top and
// bottom.
#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace leafstash {

enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

class TAnchors : public QObject {
 public:
  explicit TAnchors(QObject* Parent = nullptr) : QObject(Parent) {}
  // Anchors Control to the edges named by Sides, from its geometry now and
  // the size its parent was designed with.
  void Anchor(QWidget* Control, unsigned Sides, QSize ParentDesigned);

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  struct TAnchored {
    QWidget* Control;
    unsigned Sides;
    QRect Designed;
    QSize ParentDesigned;
  };
  void Place(const TAnchored& Item) const;
  std::vector<TAnchored> anchored_;
};

}  // namespace leafstash
