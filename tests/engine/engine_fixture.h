// Fresh process values and a destination folder for each engine test.
#pragma once

#include <gtest/gtest.h>

#include "core/process_values.h"
#include "temp_dir.h"
#include "engine/url_list.h"

namespace leafstash::test {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProcessValues();
    Process().DestPath = dest.Path();
    Process().ReportError = [this](const std::string& message) { errors.push_back(message); };
  }
  void TearDown() override { ResetProcessValues(); }

  TSettings& Settings() { return Process().Settings; }

  // Local names of the table in order.
  static std::vector<std::string> Names(const TURLListMan& list) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < list.Count(); ++i) names.push_back(list.Item(i).LocalName);
    return names;
  }

  TempDir dest;
  std::vector<std::string> errors;
};

}  // namespace leafstash::test
