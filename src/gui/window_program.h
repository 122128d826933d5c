// The windowed program: the start window on a QApplication, and the
// automation server it serves. Registration and the browser's connection
// are the caller's: the connection is opened by a function run once the
// window is up, so its requests are served from the event loop.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

namespace leafstash {

struct TWindowProgram {
  // Started for a client (a browser's connection, or -automation): the
  // process ends when the last object goes.
  bool AutomationMode = false;
  // Opens the browser's connection, when there is one; the object lives
  // until the event loop ends.
  std::function<std::unique_ptr<QObject>()> OpenConnection;
};

// Runs the start window until the process is told to end; returns the
// process's exit status.
int RunWindowProgram(int& Argc, char** Argv, const TWindowProgram& Program);

}  // namespace leafstash
