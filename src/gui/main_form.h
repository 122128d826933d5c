// The progress window of a save job: shows what the job's driver reports
// and answers its questions about credentials with dialogs it opens one at
// a time; its Abort button stops the job. It shows a job and does not own
// it: whoever runs the job closes the window when the job is over.
#pragma once

#include <QDialog>
#include <QPointer>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "engine/job_driver.h"
#include "gui/auth_form.h"

class QLabel;
class QMovie;
class QProgressBar;
class QPushButton;

namespace Ui {
class TMainForm;
}

namespace leafstash {

class TMainForm : public QDialog, public TJobUiDelegate {
 public:
  explicit TMainForm(TJobDriver& Driver, QWidget* Parent = nullptr);
  ~TMainForm() override;

  // Loads the animation clip and starts it.
  void StartAnimation();
  // The page's title and the folder it goes to, cut to fit; the whole of
  // each in its hint.
  void ShowJob(const std::string& PageTitle, const std::string& DestPath);
  void btnAbortClick() { Driver.Abort(); }
  // Full: bar, both labels and the title; otherwise the bar and the title
  // (and an empty status label).
  void UpdateProgress(bool Full);
  // Opens the credentials dialog for the server at Url, or queues the
  // question behind the one open; Cancel answers with nothing.
  void AskCredentials(const std::string& Url, TCredentialsAnswer Answer) override;

  // Runs once, when the window is first shown (the job starts then).
  std::function<void()> OnFirstShown;

  // The controls of the form.
  QLabel* Animate1;
  QLabel* lblTitle;
  QLabel* lblDest;
  QProgressBar* pbGet;
  QLabel* lblStatus;
  QLabel* lblSpeed;
  QPushButton* btnAbort;

  TJobDriver& Driver;

 protected:
  void showEvent(QShowEvent* Event) override;
  void reject() override {}  // only the job closes the window

 private:
  void AskNext();

  std::unique_ptr<Ui::TMainForm> ui_;
  QMovie* movie_ = nullptr;
  bool started_ = false;
  struct TQuestion {
    std::string Url;
    TCredentialsAnswer Answer;
  };
  std::deque<TQuestion> questions_;  // waiting behind the open dialog
  QPointer<TAuthForm> question_;
};

}  // namespace leafstash
