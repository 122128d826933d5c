#include "cli/cli_face.h"

#include <unistd.h>

#include "core/process_values.h"
#include "platform/terminal/terminal.h"
#include "html/text_utils.h"
#include "platform/urlmon/url_text.h"

namespace leafstash {
namespace {

constexpr qint64 kRedrawMs = 100;

}  // namespace

std::string HumanBytes(std::uint64_t Bytes) {
  if (Bytes < 1000) return std::to_string(Bytes) + (Bytes == 1 ? " byte" : " bytes");
  const char* units[] = {"kB", "MB", "GB", "TB"};
  double value = static_cast<double>(Bytes) / 1000.0;
  std::size_t unit = 0;
  while (value >= 1000.0 && unit + 1 < std::size(units)) {
    value /= 1000.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, units[unit]);
  return text;
}

TCliFace::TCliFace(TJobDriver& Driver, bool Quiet)
    : driver_(Driver), quiet_(Quiet), live_(!Quiet && IsTerminal(STDERR_FILENO)) {
  clock_.start();
  connect(&driver_, &TJobDriver::ProgressChanged, this, [this](bool full) { Progress(full); });
  connect(&driver_, &TJobDriver::EntryFinished, this, [this](std::size_t i) { Finished(i); });
}

void TCliFace::Print(const std::string& Line) {
  ClearLine();
  std::fprintf(stderr, "%s\n", Line.c_str());
  std::fflush(stderr);
}

void TCliFace::ClearLine() {
  if (!lineShown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  lineShown_ = false;
}

void TCliFace::Progress(bool Full) {
  if (!live_ || asking_) return;
  const qint64 now = clock_.elapsed();
  // Every data block reports; the line is redrawn ten times a second.
  if (Full && now - lastDraw_ < kRedrawMs) return;
  lastDraw_ = now;
  Draw();
}

void TCliFace::Draw() {
  const TJobFigures f = driver_.Figures();
  std::string line;
  if (f.Rewriting) {
    line = "rewriting links: " + std::to_string(f.BarPosition) + "/" +
           std::to_string(f.BarMaximum) + " pages";
  } else {
    const double seconds = std::max(0.001, clock_.elapsed() / 1000.0);
    line = std::to_string(f.Done) + "/" + std::to_string(f.Total) + " files, " +
           std::to_string(f.Queued) + " queued, " + HumanBytes(f.BytesReceived) + ", " +
           HumanBytes(static_cast<std::uint64_t>(f.BytesReceived / seconds)) + "/s  " +
           f.CurrentURL;
  }
  const std::size_t columns = static_cast<std::size_t>(TerminalColumns(STDERR_FILENO));
  if (columns > 1) line = std::string(Utf8Prefix(line, columns - 1));
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
  lineShown_ = true;
}

void TCliFace::Finished(std::size_t Index) {
  const TURLEntry& entry = Process().URLList->Item(Index);
  if (entry.State == TURLState::Failed) {
    // Failures are listed in the summary; without a terminal each file gets
    // its line as it ends.
    if (!live_ && !quiet_) Print("failed " + entry.EntryURL + ": " + driver_.FailureReason(Index));
    return;
  }
  if (!live_ && !quiet_) Print("saved  " + entry.EntryURL + " -> " + entry.LocalName);
}

void TCliFace::AskCredentials(const std::string& Url, TCredentialsAnswer Answer) {
  Answer(AskOnTerminal(Url));
}

std::optional<TCredentials> TCliFace::AskOnTerminal(const std::string& Url) {
  const std::string site = OriginOf(Url);
  if (auto known = answers_.find(site); known != answers_.end()) return known->second;
  // Prompts do not nest: both would read the same terminal.
  if (asking_ || !IsTerminal(STDIN_FILENO)) return std::nullopt;
  asking_ = true;
  ClearLine();
  const auto untilClosed = [this](QEventLoop& loop) {
    connect(&driver_, &TJobDriver::JobClosed, &loop, &QEventLoop::quit);
  };
  std::fprintf(stderr, "%s asks for a user name and password.\n", Url.c_str());
  const std::optional<std::string> user = ReadTerminalLine("User name: ", false, untilClosed);
  std::optional<std::string> password;
  if (user && !user->empty()) password = ReadTerminalLine("Password: ", true, untilClosed);
  asking_ = false;
  if (!user || user->empty() || !password) return std::nullopt;
  TCredentials given{*user, *password};
  answers_[site] = given;
  return given;
}

}  // namespace leafstash
