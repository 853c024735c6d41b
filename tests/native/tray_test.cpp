// The tray icon's notifications through frmMain over fakes, beyond what the
// real program shows under Wine (tests/windows/tray_e2e_test.cpp: a click
// and a double click each open the main application once, a right click the
// menu, a resume polls): the window brought forward, the messages ignored,
// clicks and double clicks in a row, the timer after a resume, and nothing
// after the end.
#include <gtest/gtest.h>

#include <string>

#include "fetch_fixture.h"

namespace hta::testing {
namespace {

using TrayTest = FetchTest;

// Without a main application the left button only brings the window forward.
TEST_F(TrayTest, OnlyTheButtonUpMessagesAct) {
  view.lines.clear();
  Form().TrayNotification(514);
  Form().TrayNotification(517);
  EXPECT_EQ(view.lines, (Lines{"BringToForeground", "BringToForeground", "ShowTrayMenu"}));
  // The neighbours of the two button-up messages do nothing.
  State().MainAppIndex = 1;
  view.lines.clear();
  for (const unsigned message : {513u, 515u, 516u, 518u}) {
    Form().TrayNotification(message);
  }
  EXPECT_EQ(view.lines, Lines{});
  EXPECT_EQ(Launches(), Lines{});
}

TEST_F(TrayTest, NothingRunsAfterTheProgramHasEnded) {
  State().ActionUrl = kActions;
  State().MainAppIndex = 1;
  Form().Form_Unload();
  view.lines.clear();
  Form().TrayNotification(514);
  Form().TrayNotification(517);
  Form().smnuShowPopups_Click();
  Form().Timer1_Timer();
  Form().SystemResumed();
  EXPECT_EQ(view.lines, Lines{});
  EXPECT_EQ(http.gets, Lines{});
}

}  // namespace
}  // namespace hta::testing
