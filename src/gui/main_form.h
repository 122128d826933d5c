// The progress window of a save job: shows what the job driver reports and
// asks the user for credentials in a dialog; its Abort button stops the
// job. The window closes itself when the job is over.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "engine/job_driver.h"

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
  explicit TMainForm(QWidget* Parent = nullptr);
  ~TMainForm() override;

  // Loads the animation clip and starts it.
  void StartAnimation();
  void btnAbortClick() { Driver.Abort(); }
  // Full: bar, both labels and the title; otherwise the bar and the title
  // (and an empty status label).
  void UpdateProgress(bool Full);
  // The credentials dialog for the server at Url; false on Cancel.
  bool AskCredentials(const std::string& Url, std::string& UserName,
                      std::string& Password) override;

  // The controls of the form.
  QLabel* Animate1;
  QProgressBar* pbGet;
  QLabel* lblStatus;
  QLabel* lblSpeed;
  QPushButton* btnAbort;

  TJobDriver Driver;

 protected:
  void showEvent(QShowEvent* Event) override;
  void reject() override {}  // only the job closes the window

 private:
  std::unique_ptr<Ui::TMainForm> ui_;
  QMovie* movie_ = nullptr;
  bool started_ = false;
};

}  // namespace leafstash
