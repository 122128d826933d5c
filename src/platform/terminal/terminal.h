// The terminal a command-line job runs in: whether there is one, its
// width, lines typed while the event loop goes on, and the interrupt and
// termination signals.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <functional>
#include <optional>
#include <string>

namespace leafstash {

bool IsTerminal(int Descriptor);
// Columns of the terminal on Descriptor; 80 when it does not tell.
int TerminalColumns(int Descriptor);

// Shows Prompt on standard error and reads one line from standard input,
// without its line end, while the event loop keeps running (downloads go
// on meanwhile). With Secret the terminal does not echo what is typed
// (echo is off before the prompt shows). Nothing at the end of the input,
// or when the caller quits the loop, which Watch is given to connect to
// whatever should end the wait.
std::optional<std::string> ReadTerminalLine(
    const std::string& Prompt, bool Secret,
    const std::function<void(QEventLoop& Loop)>& Watch = {});

// Delivers SIGINT and SIGTERM on the event loop. The first one is
// reported through Signalled; a second one ends the process at once with
// the status 128 + its number.
class TSignalWatcher : public QObject {
  Q_OBJECT

 public:
  TSignalWatcher();
  ~TSignalWatcher() override;
  // The signal received so far, also one that came while the event loop
  // was not running (0: none).
  int Pending();

 signals:
  void Signalled(int Number);

 private:
  void Read();
  int received_ = 0;
};

}  // namespace leafstash
