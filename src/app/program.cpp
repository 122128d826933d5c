#include "program.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QMetaObject>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app_title.h"
#include "browser_hosts.h"
#include "client_connection.h"
#include "host_relay.h"
#include "ls_app.h"
#include "paths.h"
#include "registration.h"
#include "start_form.h"

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

// What "REGSERVER" did: a line per browser, and the exit status.
int ReportRegistration(bool Registered, const std::vector<TBrowserHost>& Hosts) {
  bool failed = !Registered;
  for (const TBrowserHost& host : Hosts) {
    const bool hostFailed = host.Outcome == TBrowserHost::TOutcome::Failed;
    std::fprintf(hostFailed ? stderr : stdout, "%s%s\n", hostFailed ? "leafstash: " : "",
                 DescribeBrowserHost(host).c_str());
    failed = failed || hostFailed;
  }
  if (!Registered) std::fputs("leafstash: Error creating system registry entry\n", stderr);
  return failed ? 1 : 0;
}

}  // namespace

int RunWindowProgram(int& Argc, char** Argv, const std::vector<std::string>& Args) {
  const std::string exe = ExecutablePath(Argv[0]);
  UseProcessPaths(exe);

  const TSwitches switches = ParseSwitches(Args);
  // A browser's connection, when the native messaging host started us.
  const int client = TakeClientConnection();
  if (switches.UnregServer) {
    UnregisterServer();
    RemoveBrowserHosts();
    return 0;
  }
  // Written again at every start, so a moved program repairs itself; only
  // a registration asked for reports and fails.
  const bool registered = RegisterServer(exe);
  const std::vector<TBrowserHost> hosts = InstallBrowserHosts(exe);
  if (switches.RegServer) return ReportRegistration(registered, hosts);

  QApplication app(Argc, Argv);
  QApplication::setApplicationName("Leafstash");
  // The process ends when the automation object or the start window says
  // so: a hidden start window during a job is not the end.
  QApplication::setQuitOnLastWindowClosed(false);
  SetApplicationTitle("Leafstash");
  TComServer& server = ComServer();
  server.AutomationMode = switches.Automation || client >= 0;
  server.EndProcess = [] {
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  };
  TStartForm form;
  PressStartAfterCapture(form);
  form.show();
  // Requests are served from the event loop, once the window is up.
  std::unique_ptr<TClientConnection> connection;
  if (client >= 0) connection = std::make_unique<TClientConnection>(client);
  return QApplication::exec();
}

}  // namespace leafstash
