// A suite of whole jobs against one loopback site: each test saves into a
// folder of its own, with pictures on and three downloads at once, and
// ends with no download left and no error reported.
#pragma once

#include <string>
#include <vector>

#include "core/process_values.h"
#include "qt_wait.h"
#include "suite_server.h"
#include "temp_dir.h"
#include "platform/urlmon/urlmon.h"

namespace leafstash::test {

template <typename Derived>
class DriverSuite : public SuiteWithServer<Derived> {
 protected:
  void SetUp() override {
    ResetProcessValues();
    SuiteWithServer<Derived>::server_->ClearRequests();
    TProcessValues& p = Process();
    p.DestPath = dest_.Path();
    p.ReportError = [this](const std::string& message) { errors_.push_back(message); };
    p.Settings.SetSavePictures(true);
    p.Settings.SetMaxThreads(3);
  }
  void TearDown() override {
    EXPECT_TRUE(WaitUntil([] { return ActiveBindCount() == 0; }, 5000));
    EXPECT_TRUE(errors_.empty());
    ResetProcessValues();
  }

  TempDir dest_;
  std::vector<std::string> errors_;
};

}  // namespace leafstash::test
