// `leafstash save URL [FOLDER]`: one save job from the command line.
#pragma once

#include <string>
#include <vector>

namespace leafstash {

// Exit statuses of the command.
constexpr int kExitSaved = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCannotRun = 3;

// Runs the command on what follows "save" and returns its exit status.
// Needs a QCoreApplication.
int RunSaveCommand(const std::vector<std::string>& Arguments);

}  // namespace leafstash
