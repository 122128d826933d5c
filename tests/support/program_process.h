// The program (or any command) run as a process for a test, with a time
// limit, and what it said.
#pragma once

#include <QProcess>

#include <memory>
#include <string>
#include <vector>

namespace leafstash::test {

struct CliRun {
  int code = -1;
  bool finished = false;
  std::string out, err;
};

inline std::unique_ptr<QProcess> StartProcess(const std::string& Program,
                                              const std::vector<std::string>& Args,
                                              const QProcessEnvironment& Env) {
  auto process = std::make_unique<QProcess>();
  QStringList arguments;
  for (const std::string& a : Args) arguments << QString::fromStdString(a);
  process->setProcessEnvironment(Env);
  process->start(QString::fromStdString(Program), arguments);
  process->waitForStarted();
  return process;
}

// Waits for the end; a process still running after LimitMs is killed and
// counts as not finished.
inline CliRun FinishProcess(QProcess& Process, int LimitMs = 30000) {
  CliRun run;
  run.finished = Process.waitForFinished(LimitMs);
  if (!run.finished) Process.kill(), Process.waitForFinished();
  run.code = Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
  run.out = Process.readAllStandardOutput().toStdString();
  run.err = Process.readAllStandardError().toStdString();
  return run;
}

}  // namespace leafstash::test
