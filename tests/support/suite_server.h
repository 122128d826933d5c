// A test suite with one loopback server for all its tests: Derived has a
// static Route(httplib::Server&) that sets up the site.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "test_server.h"

namespace leafstash::test {

template <typename Derived>
class SuiteWithServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new TestServer();
    Derived::Route(server_->Routes());
    server_->Start();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static std::string Url(const std::string& Path) { return server_->Url(Path); }

  static inline TestServer* server_ = nullptr;
};

}  // namespace leafstash::test
