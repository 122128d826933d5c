#include "platform/terminal/terminal.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace leafstash {
namespace {

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t signalsSeen = 0;
// The terminal's settings while echo is off, restored by a signal that
// ends the process.
termios echoing{};
volatile std::sig_atomic_t echoOff = 0;

void OnSignal(int Number) {
  if (signalsSeen) {
    if (echoOff) ::tcsetattr(STDIN_FILENO, TCSANOW, &echoing);
    ::_exit(128 + Number);
  }
  signalsSeen = 1;
  const unsigned char byte = static_cast<unsigned char>(Number);
  const int saved = errno;
  [[maybe_unused]] const ssize_t put = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}

// Turns echo off for as long as it lives.
class NoEcho {
 public:
  NoEcho() {
    termios now{};
    if (echoOff || ::tcgetattr(STDIN_FILENO, &now) != 0 || !(now.c_lflag & ECHO)) return;
    echoing = now;
    termios quiet = echoing;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    echoOff = active_;
  }
  ~NoEcho() {
    if (!active_) return;
    echoOff = 0;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);
  }

 private:
  bool active_ = false;
};

}  // namespace

bool IsTerminal(int Descriptor) { return ::isatty(Descriptor) == 1; }

int TerminalColumns(int Descriptor) {
  winsize size{};
  if (::ioctl(Descriptor, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::optional<std::string> ReadTerminalLine(const std::string& Prompt, bool Secret,
                                            const std::function<void(QEventLoop&)>& Watch) {
  std::optional<NoEcho> quiet;
  if (Secret && IsTerminal(STDIN_FILENO)) quiet.emplace();
  std::fputs(Prompt.c_str(), stderr);
  std::fflush(stderr);
  std::string line;
  bool ended = false, done = false;
  QEventLoop loop;
  QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
    char byte;
    // A terminal in its usual mode hands over whole lines.
    while (!done) {
      const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        ended = line.empty();
        done = true;
      } else if (byte == '\n') {
        done = true;
      } else {
        line += byte;
        continue;
      }
    }
    loop.quit();
  });
  if (Watch) Watch(loop);
  loop.exec();
  if (Secret) std::fputs("\n", stderr);  // the Enter that was not echoed
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (ended || !done) return std::nullopt;
  return line;
}

TSignalWatcher::TSignalWatcher() {
  if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  signalsSeen = 0;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] { Read(); });
  struct sigaction action{};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

TSignalWatcher::~TSignalWatcher() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

void TSignalWatcher::Read() {
  const int before = received_;
  if (Pending() != before) emit Signalled(received_);
}

int TSignalWatcher::Pending() {
  unsigned char byte;
  while (signalPipe[0] >= 0 && ::read(signalPipe[0], &byte, 1) == 1) received_ = byte;
  return received_;
}

}  // namespace leafstash
