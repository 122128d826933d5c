// The program: `leafstash save ...` (the command line), the native
// messaging host a browser starts, the registration switches, and the
// start window.
#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_save.h"
#include "core/paths.h"
#include "gui/window_program.h"
#include "host/browser_hosts.h"
#include "host/client_connection.h"
#include "host/host_relay.h"
#include "host/registration.h"

namespace {

constexpr const char* kUsage =
    "Usage: leafstash save [OPTION]... URL [FOLDER]\n"
    "       leafstash                  open the start window\n"
    "       leafstash -regserver       register with the system (-unregserver: remove)\n"
    "Try 'leafstash save --help' for the options.\n";

bool IsKnownSwitch(const std::string& Item) {
  using leafstash::IsSwitch;
  return IsSwitch(Item, "REGSERVER") || IsSwitch(Item, "UNREGSERVER") ||
         IsSwitch(Item, "AUTOMATION") || IsSwitch(Item, "EMBEDDING");
}

// What "REGSERVER" did: a line per browser, and the exit status.
int ReportRegistration(bool Registered, const std::vector<leafstash::TBrowserHost>& Hosts) {
  using leafstash::TBrowserHost;
  bool failed = !Registered;
  for (const TBrowserHost& host : Hosts) {
    const bool hostFailed = host.Outcome == TBrowserHost::TOutcome::Failed;
    std::fprintf(hostFailed ? stderr : stdout, "%s%s\n", hostFailed ? "leafstash: " : "",
                 leafstash::DescribeBrowserHost(host).c_str());
    failed = failed || hostFailed;
  }
  if (!Registered) std::fputs("leafstash: Error creating system registry entry\n", stderr);
  return failed ? 1 : 0;
}

// The start window, after the registration the switches ask for.
int RunWindow(int& Argc, char** Argv, const std::vector<std::string>& Args) {
  using namespace leafstash;
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

  TWindowProgram program;
  program.AutomationMode = switches.Automation || client >= 0;
  if (client >= 0)
    program.OpenConnection = [client] { return std::make_unique<TClientConnection>(client); };
  return RunWindowProgram(Argc, Argv, program);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (!arguments.empty() && arguments[0] == "save") {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Leafstash");
    return leafstash::RunSaveCommand({arguments.begin() + 1, arguments.end()});
  }
  if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!arguments.empty() && arguments[0] == "--version") {
    QCoreApplication app(argc, argv);
    return leafstash::RunSaveCommand({"--version"});
  }
  // Started by a browser as its native messaging host.
  if (leafstash::IsBrowserLaunch(arguments))
    return leafstash::RunHostRelay(leafstash::ExecutablePath(argv[0]));
  for (const std::string& item : arguments) {
    if (IsKnownSwitch(item)) continue;
    std::fprintf(stderr, "leafstash: unknown command '%s'\n", item.c_str());
    std::fputs(kUsage, stderr);
    return leafstash::kExitUsage;
  }
  return RunWindow(argc, argv, arguments);
}
