#include "host/host_relay.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/files/file_utils.h"
#include "host/framing.h"
#include "host/page_snapshot.h"

namespace leafstash {
namespace {

constexpr int kConnectionFd = 3;

bool EndsWith(std::string_view Text, std::string_view End) {
  return Text.size() >= End.size() && Text.substr(Text.size() - End.size()) == End;
}

// The program's log: named by the environment, or in the user's state
// folder. A log grown past 1 MiB starts again.
std::string ProgramLog() {
  if (const char* log = std::getenv(kHostLogVariable); log && *log) return log;
  const std::string folder = UserFolder("XDG_STATE_HOME", ".local/state") + "leafstash/";
  MakeFolders(folder);
  return folder + "leafstash.log";
}

int OpenLog(const std::string& Path) {
  const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  struct stat info {};
  if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > (1 << 20))
    ::ftruncate(fd, 0);
  return fd;
}

void ReportFraming(TFrameStatus Status) {
  std::fprintf(stderr, "leafstash: the browser's message is broken: %s\n",
               DescribeFrameStatus(Status).c_str());
}

// Starts the program in a new session with the child end of a connected
// socket pair as descriptor 3; returns the parent end, or -1.
int StartProgram(const std::string& ExePath, const std::string& Log, pid_t& Child) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return -1;
  const int errors = OpenLog(Log);
  Child = ::fork();
  if (Child < 0) {
    ::close(ends[0]);
    ::close(ends[1]);
    if (errors >= 0) ::close(errors);
    return -1;
  }
  if (Child == 0) {
    ::setsid();  // out of the browser's process group and session
    if (ends[1] == kConnectionFd) {
      ::fcntl(kConnectionFd, F_SETFD, 0);
    } else {
      ::dup2(ends[1], kConnectionFd);
    }
    const int nothing = ::open("/dev/null", O_RDWR);
    ::dup2(nothing, 0);
    ::dup2(nothing, 1);
    ::dup2(errors >= 0 ? errors : nothing, 2);
    ::close_range(kConnectionFd + 1, ~0u, 0);
    ::setenv(kConnectionFdVariable, "3", 1);
    ::signal(SIGPIPE, SIG_DFL);
    const char* argv[] = {ExePath.c_str(), "-Embedding", nullptr};
    ::execv(ExePath.c_str(), const_cast<char* const*>(argv));
    _exit(127);
  }
  ::close(ends[1]);
  if (errors >= 0) ::close(errors);
  return ends[0];
}

// One request to the program and its answer; an answer of our own when the
// program has gone.
std::string AskProgram(int& Connection, std::string_view Request, const std::string& Log) {
  if (Connection >= 0 && WriteAll(Connection, FrameMessage(Request))) {
    TFrameReader answers(kMaxAnswerBytes);
    std::string answer;
    if (ReadMessage(Connection, answers, answer) == TFrameStatus::Message) return answer;
  }
  if (Connection >= 0) ::close(Connection);
  Connection = -1;
  return EncodeAnswer(E_FAIL, "Leafstash ended before it answered; what it said is in " + Log);
}

// The first request: checked here, so that a message the program could not
// read opens no window; otherwise the program is started and asked.
std::string FirstAnswer(const std::string& ExePath, const std::string& Request,
                        int& Connection, pid_t& Child) {
  try {
    BuildWindowFromSnapshot(Request);
  } catch (const SnapshotError& e) {
    return EncodeAnswer(E_INVALIDARG, e.what());
  }
  const std::string log = ProgramLog();
  Connection = StartProgram(ExePath, log, Child);
  if (Connection < 0) return EncodeAnswer(E_FAIL, "Leafstash could not be started");
  return AskProgram(Connection, Request, log);
}

}  // namespace

bool IsBrowserLaunch(const std::vector<std::string>& Args) {
  bool origin = false;
  for (const std::string& item : Args) {
    if (item.rfind("chrome-extension://", 0) == 0) {
      origin = true;
    } else if (item.rfind("--parent-window=", 0) != 0) {
      origin = false;
      break;
    }
  }
  if (origin) return true;
  return Args.size() == 2 && !Args[0].empty() && Args[0][0] == '/' &&
         EndsWith(Args[0], ".json") && !Args[1].empty() && Args[1][0] != '-' &&
         Args[1][0] != '/';
}

int RunHostRelay(const std::string& ExePath) {
  ::signal(SIGPIPE, SIG_IGN);
  TFrameReader input;
  std::string request;
  TFrameStatus status = ReadMessage(0, input, request);
  if (status == TFrameStatus::End) return 0;
  if (status != TFrameStatus::Message) {
    ReportFraming(status);
    return 1;
  }
  int connection = -1;
  pid_t child = -1;
  if (!WriteAll(1, FrameMessage(FirstAnswer(ExePath, request, connection, child)))) return 0;

  // Later requests go to the program, which refuses them; the host ends
  // when the browser lets go or the program has ended.
  while (true) {
    pollfd watched[2] = {{0, POLLIN, 0}, {connection, POLLIN, 0}};
    if (::poll(watched, connection >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (connection >= 0 && watched[1].revents != 0) break;  // the program ended
    status = ReadMessage(0, input, request);
    if (status == TFrameStatus::End) break;
    if (status != TFrameStatus::Message) {
      ReportFraming(status);
      return 1;
    }
    const std::string answer = connection >= 0
                                   ? AskProgram(connection, request, ProgramLog())
                                   : EncodeAnswer(E_UNEXPECTED, kOnePagePerStart);
    if (!WriteAll(1, FrameMessage(answer))) break;
  }
  if (child > 0) ::waitpid(child, nullptr, WNOHANG);
  return 0;
}

int TakeClientConnection() {
  const char* value = std::getenv(kConnectionFdVariable);
  if (!value) return -1;
  char* end = nullptr;
  const long fd = std::strtol(value, &end, 10);
  ::unsetenv(kConnectionFdVariable);
  struct stat info {};
  if (end == value || *end != '\0' || fd < 0 || fd > 1024 ||
      ::fstat(static_cast<int>(fd), &info) != 0 || !S_ISSOCK(info.st_mode))
    return -1;
  ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  return static_cast<int>(fd);
}

}  // namespace leafstash
