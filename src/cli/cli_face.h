// The terminal face of a save job: a progress line redrawn in place on a
// terminal, else one line per finished file; credentials asked on the
// terminal when there is one.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "engine/job_driver.h"

namespace leafstash {

class TCliFace : public QObject, public TJobUiDelegate {
 public:
  TCliFace(TJobDriver& Driver, bool Quiet);

  // Asks on the terminal when standard input is one, once for each site;
  // otherwise nobody can answer and no credentials are given. A request
  // that comes while the user is answering another gets no answer.
  void AskCredentials(const std::string& Url, TCredentialsAnswer Answer) override;
  // Removes the progress line, so the summary starts on a clean line.
  void ClearLine();
  double Seconds() const { return clock_.elapsed() / 1000.0; }

 private:
  std::optional<TCredentials> AskOnTerminal(const std::string& Url);
  void Progress(bool Full);
  void Finished(std::size_t Index);
  void Draw();
  void Print(const std::string& Line);

  TJobDriver& driver_;
  bool quiet_;
  bool live_;  // standard error is a terminal: one line redrawn in place
  bool asking_ = false;
  // What the user typed, by site: later requests of that site get it.
  std::map<std::string, TCredentials> answers_;
  bool lineShown_ = false;
  QElapsedTimer clock_;
  qint64 lastDraw_ = -1000;
};

// "1.5 MB", "730 kB", "12 bytes".
std::string HumanBytes(std::uint64_t Bytes);

}  // namespace leafstash
