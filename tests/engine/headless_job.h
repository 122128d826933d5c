// Whole save jobs on the job driver with no window, as the command line
// runs them, and what they left.
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/job_driver.h"
#include "core/process_values.h"
#include "engine/save_job_setup.h"

namespace leafstash::test {

struct JobOutcome {
  bool Ran = false;
  bool Closed = false;                         // the job closed within the limit
  std::map<std::string, TURLEntry> Entries;    // by address
  std::map<std::string, std::string> Reasons;  // failed addresses
  std::vector<std::string> Finished;           // in the order they finished
};

// Runs the job for the process's page; Setup may adjust the driver before
// it starts (and connect to it).
inline JobOutcome RunHeadlessJob(const std::vector<TCheckedLink>& Links = {},
                                 const std::function<void(TJobDriver&)>& Setup = {},
                                 int LimitMs = 30000) {
  JobOutcome outcome;
  auto list = std::make_unique<TURLListMan>();
  Process().URLList = list.get();
  outcome.Ran = PrepareSaveJob(*list, Links);
  TJobDriver driver;
  if (outcome.Ran) {
    QObject::connect(&driver, &TJobDriver::EntryFinished, [&](std::size_t index) {
      outcome.Finished.push_back(Process().URLList->Item(index).EntryURL);
    });
    if (Setup) Setup(driver);
    QEventLoop loop;
    QObject::connect(&driver, &TJobDriver::JobClosed, &loop, &QEventLoop::quit);
    QTimer::singleShot(LimitMs, &loop, &QEventLoop::quit);
    driver.Start();
    loop.exec();
    outcome.Closed = driver.Closed();
    for (std::size_t i = 0; i < list->Count(); ++i) {
      const TURLEntry& entry = list->Item(i);
      outcome.Entries[entry.EntryURL] = entry;
      if (entry.State == TURLState::Failed) outcome.Reasons[entry.EntryURL] = driver.FailureReason(i);
    }
  }
  FinishSaveJob(std::move(list), "");
  return outcome;
}

}  // namespace leafstash::test
