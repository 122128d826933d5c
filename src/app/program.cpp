#include "program.h"

#include <QApplication>
#include <QMetaObject>
#include <cstdio>

#include "app_title.h"
#include "ls_app.h"
#include "paths.h"
#include "registration.h"
#include "start_form.h"

namespace leafstash {
int RunWindowProgram(int& Argc, char** Argv, const std::vector<std::string>& Args) {
  const std::string exe = ExecutablePath(Argv[0]);
  UseProcessPaths(exe);

  const TSwitches switches = ParseSwitches(Args);
  if (switches.UnregServer) {
    UnregisterServer();
    return 0;
  }
  // Written again at every start; only a registration asked for fails.
  const bool registered = RegisterServer(exe);
  if (switches.RegServer) {
    if (registered) return 0;
    std::fputs("leafstash: Error creating system registry entry\n", stderr);
    return 1;
  }

  QApplication app(Argc, Argv);
  QApplication::setApplicationName("Leafstash");
  // The process ends when the automation object or the start window says
  // so: a hidden start window during a job is not the end.
  QApplication::setQuitOnLastWindowClosed(false);
  SetApplicationTitle("Leafstash");
  TComServer& server = ComServer();
  server.AutomationMode = switches.Automation;
  server.EndProcess = [] {
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  };
  TStartForm form;
  form.show();
  return QApplication::exec();
}

}  // namespace leafstash
