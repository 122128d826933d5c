// The dialog that asks for a user name and password for one request.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "core/language.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class TAuthForm;
}

namespace leafstash {

class TAuthForm : public QDialog {
 public:
  explicit TAuthForm(QWidget* Parent = nullptr);
  ~TAuthForm() override;

  // The address shown; a long one is cut by the label and shown whole in
  // its hint.
  void SetUrl(const std::string& Url);
  void SetTexts(const TSharedTexts& Texts);
  std::string UserName() const;
  std::string Password() const;

  // Both fields must be filled: an empty one gets the focus and a beep.
  void btnOkClick();
  void btnCancelClick() { reject(); }

  QLabel* lblAuthTitle;
  QLabel* lblAuthURL;
  QLabel* lblAuthUser;
  QLabel* lblAuthPass;
  QLineEdit* edUser;
  QLineEdit* edPass;
  QPushButton* btnOk;
  QPushButton* btnCancel;

 protected:
  void keyPressEvent(QKeyEvent* Event) override;  // Escape does not cancel

 private:
  std::unique_ptr<Ui::TAuthForm> ui_;
};

}  // namespace leafstash
