// Up-down arrows beside a read-only edit: the arrows change a position
// between Min and Max (no wrap-around) and write it into the edit.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace leafstash {

class TUpDown : public QWidget {
 public:
  explicit TUpDown(QWidget* Parent = nullptr);

  void SetAssociate(QLineEdit* Edit);
  void SetRange(int Min, int Max);
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  // Clamped to the range; the edit shows the new position.
  void SetPosition(int Position);
  void StepUp() { SetPosition(position_ + 1); }
  void StepDown() { SetPosition(position_ - 1); }

 protected:
  void resizeEvent(QResizeEvent* Event) override;

 private:
  QToolButton* up_;
  QToolButton* down_;
  QLineEdit* associate_ = nullptr;
  int min_ = 0, max_ = 100, position_ = 0;
};

}  // namespace leafstash
