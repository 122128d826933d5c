// A start window on the offscreen platform, with the program's language
// files, a settings file of its own, and the automation server reset.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "gui/app_title.h"
#include "gui/beep.h"
#include "core/ls_app.h"
#include "host/page_snapshot.h"
#include "core/process_values.h"
#include "gui/start_form.h"
#include "temp_dir.h"

namespace leafstash::test {

// Answers the next modal window (a message box, a prompt) with Answer,
// once it is up; stops watching when the returned timer goes.
using TModalAnswer = std::unique_ptr<QTimer>;
[[nodiscard]] inline TModalAnswer WhenModal(std::function<void(QWidget*)> Answer) {
  auto timer = std::make_unique<QTimer>();
  QTimer* watch = timer.get();
  watch->setInterval(20);
  QObject::connect(watch, &QTimer::timeout, [watch, Answer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    watch->stop();
    Answer(modal);
  });
  watch->start();
  return timer;
}

// Clicks Button of the next message box and keeps its text.
[[nodiscard]] inline TModalAnswer AnswerBox(QMessageBox::StandardButton Button,
                                            std::string* Text = nullptr,
                                            std::string* Caption = nullptr) {
  return WhenModal([=](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) return;
    if (Text) *Text = box->text().toStdString();
    if (Caption) *Caption = box->windowTitle().toStdString();
    box->button(Button)->click();
  });
}

class StartFormFixture {
 protected:
  StartFormFixture() {
    ResetProcessValues();
    ClearBeeps();
    SetApplicationTitle("Leafstash");
    Process().LangDir = LEAFSTASH_LANG_DIR "/";
    Process().SettingsFile = config_.File("lfsta.cfg");
    Process().ExtraSettingsFile = config_.File("lfsta.ini");
    ComServer() = TComServer();
    ::setenv("LANG", "C.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
  }
  ~StartFormFixture() {
    form_.reset();
    ReleaseAppObject();
    ComServer() = TComServer();
    ResetProcessValues();
  }

  TStartForm& Form() {
    if (!form_) form_ = std::make_unique<TStartForm>();
    return *form_;
  }
  TStartForm& Shown() {
    Form().show();
    return *form_;
  }

  static Variant Window(const std::string& Json) { return BuildWindowFromSnapshot(Json); }

  // In automation mode; ended_ tells whether the process was told to end.
  void WatchTheEnd() {
    ComServer().AutomationMode = true;
    ComServer().EndProcess = [this] { ended_ = true; };
  }
  bool ended_ = false;

  TempDir config_;
  std::unique_ptr<TStartForm> form_;
};

}  // namespace leafstash::test
