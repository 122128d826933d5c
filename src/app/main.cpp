// The program: `leafstash save ...` saves a page from the command line.
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_options.h"
#include "cli_save.h"

namespace {

constexpr const char* kUsage =
    "Usage: leafstash save [OPTION]... URL [FOLDER]\n"
    "Try 'leafstash save --help' for the options.\n";

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("Leafstash");
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (!arguments.empty() && arguments[0] == "save")
    return leafstash::RunSaveCommand({arguments.begin() + 1, arguments.end()});
  if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!arguments.empty() && arguments[0] == "--version")
    return leafstash::RunSaveCommand({"--version"});
  if (arguments.empty())
    std::fputs("leafstash: no command given\n", stderr);
  else
    std::fprintf(stderr, "leafstash: unknown command '%s'\n", arguments[0].c_str());
  std::fputs(kUsage, stderr);
  return leafstash::kExitUsage;
}
