#include "cli/cli_save.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli_face.h"
#include "cli/cli_options.h"
#include "platform/files/file_utils.h"
#include "core/paths.h"
#include "core/process_values.h"
#include "engine/save_job.h"
#include "platform/urlmon/session_cookies.h"
#include "platform/terminal/terminal.h"
#include "html/text_utils.h"
#include "html/url_utils.h"
#include "platform/urlmon/urlmon.h"

#ifndef LEAFSTASH_VERSION
#define LEAFSTASH_VERSION "0"
#endif

namespace leafstash {
namespace {

void Error(const std::string& Message) {
  std::fprintf(stderr, "leafstash: %s\n", Message.c_str());
  std::fflush(stderr);
}

int UsageError(const std::string& Message) {
  Error(Message);
  std::fputs(SaveUsage().c_str(), stderr);
  return kExitUsage;
}

// The destination folder, created when missing, as an absolute path that
// ends in "/"; empty, with the reason reported, when it cannot be used.
std::string PrepareFolder(const std::string& Folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path path = fs::absolute(Folder.empty() ? "." : Folder, error);
  if (error) {
    Error("cannot use the folder " + Folder + ": " + error.message());
    return "";
  }
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) {
    if (!S_ISDIR(info.st_mode)) {
      Error(path.string() + " is not a folder");
      return "";
    }
  } else if (!fs::create_directories(path, error) && error) {
    Error("cannot create the folder " + path.string() + ": " + error.message());
    return "";
  }
  if (::access(path.c_str(), W_OK | X_OK) != 0) {
    Error("cannot write into the folder " + path.string() + ": " + std::strerror(errno));
    return "";
  }
  std::string text = path.lexically_normal().string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

// The password that goes with --user: from the environment, else typed.
std::optional<std::string> PasswordFor(const std::string& User, TSignalWatcher& Watcher) {
  if (const char* given = std::getenv("LEAFSTASH_PASSWORD")) return std::string(given);
  if (!IsTerminal(STDIN_FILENO)) return std::nullopt;
  // Ctrl-C ends the wait; the signal is then still to be taken.
  return ReadTerminalLine("Password for " + User + ": ", true, [&](QEventLoop& loop) {
    QObject::connect(&Watcher, &TSignalWatcher::Signalled, &loop, [&loop] { loop.quit(); });
  });
}

// The cookies of a cookies.txt file; nothing, with the reason reported,
// when it cannot be read or holds a line that is not a cookie. What the
// file holds is never repeated in a message.
std::optional<std::vector<TBrowserCookie>> ReadCookies(const std::string& Path) {
  std::ifstream file(Path, std::ios::binary);
  std::ostringstream text;
  if (file) text << file.rdbuf();
  if (!file || file.bad()) {
    Error("--cookies: cannot read " + Path + ": " + std::strerror(errno));
    return std::nullopt;
  }
  std::string error;
  auto cookies = ParseCookiesTxt(text.str(), error);
  if (!cookies) Error("--cookies: " + Path + ", " + error);
  return cookies;
}

// Downloads that an abort cancelled end on the event loop: it runs until
// they have let go of their connections, for a second at most.
void WaitForBindsToEnd() {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (ActiveBindCount() == 0) loop.quit();
  });
  QTimer::singleShot(1000, &loop, &QEventLoop::quit);
  poll.start(10);
  if (ActiveBindCount() > 0) loop.exec();
}

}  // namespace

int RunSaveCommand(const std::vector<std::string>& Arguments) {
  const TCliParse parse = ParseSaveArguments(Arguments);
  if (!parse.Options) return UsageError(parse.Error);
  const TCliOptions& options = *parse.Options;
  if (options.Help) {
    std::cout << SaveUsage();
    return kExitSaved;
  }
  if (options.Version) {
    std::cout << "leafstash " << LEAFSTASH_VERSION << "\n";
    return kExitSaved;
  }
  const std::string url = Trim(options.Url);
  if (url.empty()) return UsageError("the address is empty");
  if (!IsHttpUrl(url)) return UsageError("not an http or https address: " + url);
  std::vector<TCheckedLink> links;
  for (const std::string& link : options.Links) {
    if (!IsHttpUrl(Trim(link))) return UsageError("--link: not an http or https address: " + link);
    links.push_back({Trim(link), ""});
  }

  // Ctrl-C stops the command from here on, at every step.
  TSignalWatcher watcher;
  int signal = 0;
  TProcessValues& process = Process();
  UseProcessPaths(ExecutablePath(QCoreApplication::arguments().value(0).toStdString()));
  LoadSettingsFile(process.SettingsFile, process.Settings);
  process.ExtraSettings.Load(process.ExtraSettingsFile);
  ApplyCliOptions(options, process.Settings);
  if (options.User) {
    const std::optional<std::string> password = PasswordFor(*options.User, watcher);
    if ((signal = watcher.Pending())) return 128 + signal;
    if (!password)
      return UsageError("--user needs a password: set LEAFSTASH_PASSWORD or run on a terminal");
    process.Settings.SetPassword(*password);
  }

  TSaveRequest request;
  if (options.CookiesFile) {
    const std::optional<std::vector<TBrowserCookie>> cookies = ReadCookies(*options.CookiesFile);
    if (!cookies) return kExitUsage;
    request.Handover.Cookies = *cookies;
  }
  if (options.UserAgent) request.Handover.UserAgent = *options.UserAgent;

  request.DestPath = PrepareFolder(options.Folder);
  if (request.DestPath.empty()) return kExitCannotRun;
  request.PageURL = url;
  request.PageTitle = url;
  request.Links = std::move(links);
  request.TakeLinks = options.TakeLinks;
  request.Options = process.Settings;
  // The start window's check boxes are its own: a script gets only the
  // files it asks for.
  request.Outputs.SingleFile = options.SingleFile;
  request.Outputs.WebArchive = options.WebArchive;
  request.Outputs.ArchiveCookies = options.ArchiveCookies;
  request.Outputs.InlineLimit =
      static_cast<std::uint64_t>(process.ExtraSettings.SingleFileMaxMiB()) << 20;
  process.ReportError = Error;

  auto job = std::make_unique<TSaveJob>(std::move(request));
  TCliFace face(job->Driver(), options.Quiet);
  job->SetUiDelegate(&face);
  if (!job->Prepare()) {
    if (!job->Outcome().Error.empty()) Error(job->Outcome().Error);
    return kExitCannotRun;
  }
  QObject::connect(&watcher, &TSignalWatcher::Signalled, job.get(), [&](int number) {
    signal = number;
    job->Abort();
  });
  if ((signal = watcher.Pending())) job->Abort();
  QEventLoop loop;
  QObject::connect(job.get(), &TSaveJob::Finished, &loop, &QEventLoop::quit);
  job->Start();
  if (!job->IsFinished()) loop.exec();
  face.ClearLine();

  const TJobOutcome outcome = job->Outcome();
  job.reset();
  WaitForBindsToEnd();

  const bool aborted = outcome.End == TJobEnd::Aborted;
  if (aborted && !outcome.Ran) return 128 + signal;
  if (!options.Quiet) {
    if (aborted) std::fprintf(stderr, "Stopped: nothing was rewritten.\n");
    std::string line = "Saved " + std::to_string(outcome.Saved) + " files";
    if (outcome.Reused) line += ", reused " + std::to_string(outcome.Reused);
    line += ", " + std::to_string(outcome.Failures.size()) + " failed; " +
            HumanBytes(outcome.BytesReceived);
    std::fprintf(stderr, "%s in %.1f s\n", line.c_str(), face.Seconds());
  }
  for (const std::string& failure : outcome.Failures)
    std::fprintf(stderr, options.Quiet ? "leafstash: failed %s\n" : "  failed %s\n", failure.c_str());
  if (aborted) return 128 + signal;
  if (outcome.PageFailure) {
    Error("the page " + url + " was not saved: " + *outcome.PageFailure);
    return kExitCannotRun;
  }
  if (!options.Quiet) {
    std::fprintf(stderr, "Saved page: %s\n", outcome.PagePath.c_str());
    if (!outcome.SingleFilePath.empty())
      std::fprintf(stderr, "One-file copy: %s\n", outcome.SingleFilePath.c_str());
    if (!outcome.ArchivePath.empty())
      std::fprintf(stderr, "Web archive: %s\n", outcome.ArchivePath.c_str());
  }
  return outcome.End == TJobEnd::Saved ? kExitSaved : kExitSomeFailed;
}
}  // namespace leafstash
