// Runs the Qt event loop until a condition holds or a time limit passes.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace leafstash::test {

inline bool WaitUntil(const std::function<bool()>& Done, int LimitMs = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!Done()) {
    if (clock.elapsed() > LimitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Lets the loop run for a while (for what must not happen).
inline void RunFor(int Ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < Ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace leafstash::test
