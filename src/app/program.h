// The windowed program: registration switches, the start window and the
// automation object it serves.
#pragma once

#include <string>
#include <vector>

namespace leafstash {

// Runs the program for the command-line items Args (the program's name
// left out); returns the process's exit status.
int RunWindowProgram(int& Argc, char** Argv, const std::vector<std::string>& Args);

}  // namespace leafstash
