// The tray icon's notifications through Launcher over fakes, beyond what the
// real program shows under Wine (tests/windows/tray_e2e_test.cpp: a click
// and a double click each open the main application once, a right click the
// menu, a resume polls): the window brought forward and the messages
// ignored. That nothing runs after the end is in startup_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "fetch_fixture.h"

namespace hta::testing {
namespace {

using TrayTest = FetchTest;

// Without a main application the left button only brings the window forward.
TEST_F(TrayTest, OnlyTheButtonUpMessagesAct) {
  view.lines.clear();
  Program().TrayNotification(514);
  Program().TrayNotification(517);
  EXPECT_EQ(view.lines, (Lines{"BringToForeground", "BringToForeground", "ShowTrayMenu"}));
  // The neighbours of the two button-up messages do nothing.
  State().mainAppIndex = 1;
  view.lines.clear();
  for (const unsigned message : {513u, 515u, 516u, 518u}) {
    Program().TrayNotification(message);
  }
  EXPECT_EQ(view.lines, Lines{});
  EXPECT_EQ(Launches(), Lines{});
}

}  // namespace
}  // namespace hta::testing
