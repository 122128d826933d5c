#include "gui/window_program.h"

#include <QApplication>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>

#include "core/ls_app.h"
#include "gui/app_title.h"
#include "gui/start_form.h"

namespace leafstash {
namespace {

// For the end-to-end tests only: once a page is captured, save it into the
// folder this names, as if the user had pressed Start.
constexpr const char* kTestSaveToVariable = "LEAFSTASH_TEST_SAVE_TO";

void PressStartAfterCapture(TStartForm& Form) {
  const char* folder = std::getenv(kTestSaveToVariable);
  if (!folder || !*folder) return;
  TComServer& server = ComServer();
  server.PageCapture = [capture = server.PageCapture, &Form,
                        folder = QString::fromLocal8Bit(folder)](const Variant& WB) {
    capture(WB);
    Form.edFolder->setText(folder);
    QTimer::singleShot(0, Form.btnStart, &QAbstractButton::click);
  };
}

}  // namespace

int RunWindowProgram(int& Argc, char** Argv, const TWindowProgram& Program) {
  QApplication app(Argc, Argv);
  QApplication::setApplicationName("Leafstash");
  // The process ends when the automation object or the start window says
  // so: a hidden start window during a job is not the end.
  QApplication::setQuitOnLastWindowClosed(false);
  SetApplicationTitle("Leafstash");
  TComServer& server = ComServer();
  server.AutomationMode = Program.AutomationMode;
  server.EndProcess = [] {
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  };
  TStartForm form;
  PressStartAfterCapture(form);
  form.show();
  // Requests are served from the event loop, once the window is up.
  std::unique_ptr<QObject> connection;
  if (Program.OpenConnection) connection = Program.OpenConnection();
  return QApplication::exec();
}

}  // namespace leafstash
