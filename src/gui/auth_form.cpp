#include "gui/auth_form.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/beep.h"
#include "gui/label_text.h"
#include "ui_auth_form.h"

namespace leafstash {

TAuthForm::TAuthForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(std::make_unique<Ui::TAuthForm>()) {
  ui_->setupUi(this);
  setFixedSize(size());
  lblAuthTitle = ui_->lblAuthTitle;
  lblAuthURL = ui_->lblAuthURL;
  lblAuthUser = ui_->lblAuthUser;
  lblAuthPass = ui_->lblAuthPass;
  edUser = ui_->edUser;
  edPass = ui_->edPass;
  btnOk = ui_->btnOk;
  btnCancel = ui_->btnCancel;
  connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  edUser->setFocus();
}

TAuthForm::~TAuthForm() = default;

void TAuthForm::SetUrl(const std::string& Url) {
  // Cut in the middle to fit, so the server's name and the end both show.
  ShowCutToFit(lblAuthURL, QString::fromStdString(Url), Qt::ElideMiddle);
}

void TAuthForm::SetTexts(const TSharedTexts& Texts) {
  lblAuthTitle->setText(QString::fromStdString(Texts.lblAuthTitle));
  // The labels name their fields with "&": the language text is the caption.
  lblAuthUser->setText(QString::fromStdString(Texts.lblAuthUser));
  lblAuthPass->setText(QString::fromStdString(Texts.lblAuthPass));
}

std::string TAuthForm::UserName() const { return edUser->text().toStdString(); }
std::string TAuthForm::Password() const { return edPass->text().toStdString(); }

void TAuthForm::btnOkClick() {
  if (edUser->text().isEmpty()) {
    edUser->setFocus();
    MessageBeep(MB_OK_BEEP);
  } else if (edPass->text().isEmpty()) {
    edPass->setFocus();
    MessageBeep(MB_OK_BEEP);
  } else {
    accept();
  }
}

void TAuthForm::keyPressEvent(QKeyEvent* Event) {
  if (Event->key() == Qt::Key_Escape) {
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}

}  // namespace leafstash
