#include "gui/up_down.h"

#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

namespace leafstash {

TUpDown::TUpDown(QWidget* Parent)
    : QWidget(Parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* arrow : {up_, down_}) {
    arrow->setAutoRepeat(true);
    arrow->setFocusPolicy(Qt::NoFocus);
  }
  connect(up_, &QToolButton::clicked, this, [this] { StepUp(); });
  connect(down_, &QToolButton::clicked, this, [this] { StepDown(); });
}

void TUpDown::SetAssociate(QLineEdit* Edit) {
  associate_ = Edit;
  if (associate_) associate_->setText(QString::number(position_));
}

void TUpDown::SetRange(int Min, int Max) {
  min_ = Min;
  max_ = std::max(Min, Max);
  SetPosition(position_);
}

void TUpDown::SetPosition(int Position) {
  position_ = std::clamp(Position, min_, max_);
  if (associate_) associate_->setText(QString::number(position_));
}

void TUpDown::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  up_->setGeometry(0, 0, width(), half);
  down_->setGeometry(0, half, width(), height() - half);
}

}  // namespace leafstash
