// Test main for the forms: a widget application on the offscreen platform.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // No test reaches the desktop's session bus: only those run under a bus
  // of their own (dbus-run-session) have one.
  if (!std::getenv("LEAFSTASH_TEST_BUS"))
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/leafstash-no-bus", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
