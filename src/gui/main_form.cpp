#include "gui/main_form.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>

#include "gui/app_title.h"
#include "gui/auth_form.h"
#include "gui/label_text.h"
#include "engine/job_texts.h"
#include "core/process_values.h"
#include "ui_main_form.h"

// The clip is linked in from a static library: it is registered by hand
// (outside any namespace, as the resource compiler names it).
static bool InitResources() {
  Q_INIT_RESOURCE(leafstash);
  return true;
}

namespace leafstash {

TMainForm::TMainForm(TJobDriver& JobDriver, QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      Driver(JobDriver),
      ui_(std::make_unique<Ui::TMainForm>()) {
  ui_->setupUi(this);
  QFont font("Arial");
  font.setPixelSize(11);
  setFont(font);
  Animate1 = ui_->Animate1;
  lblTitle = ui_->lblTitle;
  lblDest = ui_->lblDest;
  QFont bold = font;
  bold.setBold(true);
  lblTitle->setFont(bold);
  pbGet = ui_->pbGet;
  lblStatus = ui_->lblStatus;
  lblSpeed = ui_->lblSpeed;
  btnAbort = ui_->btnAbort;
  connect(btnAbort, &QPushButton::clicked, this, [this] { btnAbortClick(); });
  // The window is painted before the job starts.
  connect(&Driver, &TJobDriver::Starting, this, [this] { repaint(); });
  connect(&Driver, &TJobDriver::ProgressChanged, this, [this](bool full) { UpdateProgress(full); });
}

TMainForm::~TMainForm() = default;

void TMainForm::StartAnimation() {
  if (!movie_) {
    static const bool registered = InitResources();
    (void)registered;
    movie_ = new QMovie(":/animation/progress.gif", QByteArray(), this);
    Animate1->setMovie(movie_);
  }
  movie_->start();
}

void TMainForm::ShowJob(const std::string& PageTitle, const std::string& DestPath) {
  ShowCutToFit(lblTitle, QString::fromStdString(PageTitle), Qt::ElideRight);
  ShowCutToFit(lblDest,
       QString::fromStdString(Process().Texts.lblSavingTo).arg(QString::fromStdString(DestPath)),
       Qt::ElideMiddle);
}

// Showing the window starts the job.
void TMainForm::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (started_) return;
  started_ = true;
  if (OnFirstShown) OnFirstShown();
}

void TMainForm::UpdateProgress(bool Full) {
  const TJobFigures figures = Driver.Figures();
  pbGet->setMaximum(static_cast<int>(figures.BarMaximum));
  pbGet->setValue(static_cast<int>(figures.BarPosition));
  if (Full) {
    const TSharedTexts& texts = Process().Texts;
    const int percent = RoundedPercent(pbGet->value(), pbGet->maximum());
    lblStatus->setText(QString::fromStdString(
        std::to_string(figures.Done) + " " + texts.SaveWPStr + " " + std::to_string(figures.Total) +
        " (" + std::to_string(percent) + "%) " + texts.FileRecStr));
    std::string speed = std::to_string(figures.BytesReceived) + " " + texts.ByteRecStr;
    if (!figures.SpeedText.empty()) speed += " (" + figures.SpeedText + ")";
    lblSpeed->setText(QString::fromStdString(speed));
    lblStatus->repaint();
    lblSpeed->repaint();
  } else {
    lblStatus->clear();
  }
  SetApplicationTitle(JobTitle(pbGet->value(), pbGet->maximum(), Process().PageTitle));
}

void TMainForm::AskCredentials(const std::string& Url, TCredentialsAnswer Answer) {
  questions_.push_back({Url, std::move(Answer)});
  if (!question_) AskNext();
}

void TMainForm::AskNext() {
  if (questions_.empty()) return;
  TQuestion next = std::move(questions_.front());
  questions_.pop_front();
  auto* form = new TAuthForm(this);
  form->setAttribute(Qt::WA_DeleteOnClose);
  form->SetUrl(next.Url);
  form->SetTexts(Process().Texts);
  question_ = form;
  connect(form, &QDialog::finished, this, [this, form, answer = std::move(next.Answer)](int result) {
    std::optional<TCredentials> given;
    if (result == QDialog::Accepted) given = TCredentials{form->UserName(), form->Password()};
    question_ = nullptr;
    answer(std::move(given));
    AskNext();
  });
  form->open();
}

}  // namespace leafstash
