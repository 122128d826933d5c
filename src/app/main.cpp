// The program: the start window, the registration switches, and
// `leafstash save ...`, which saves a page from the command line.
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_options.h"
#include "cli_save.h"
#include "host_relay.h"
#include "paths.h"
#include "program.h"
#include "registration.h"

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
  return leafstash::RunWindowProgram(argc, argv, arguments);
}
