// The tray icon's notifications through frmMain over fakes (the popup
// preference's menu entry is tested with the action poll).
#include <gtest/gtest.h>

#include <string>

#include "fetch_fixture.h"

namespace hta::testing {
namespace {

using TrayTest = FetchTest;

// Without a main application the left button only brings the window forward.
TEST_F(TrayTest, LeftButtonUpBringsTheWindowForwardAndRightButtonUpShowsTheTrayMenuToo) {
  view.lines.clear();
  Form().TrayNotification(514);
  Form().TrayNotification(517);
  EXPECT_EQ(view.lines, (Lines{"BringToForeground", "BringToForeground", "ShowTrayMenu"}));
  EXPECT_EQ(Launches(), Lines{});
}

TEST_F(TrayTest, LeftButtonUpOpensTheMainApplication) {
  ServeLogin(App("first.hta", "First", "p") + App("main.hta", "Main", "q", true));
  Form().cmdLogin_Click();
  ASSERT_EQ(State().MainAppIndex, 2);
  shell.executed.clear();
  view.lines.clear();
  Form().TrayNotification(514);
  EXPECT_EQ(view.lines, Lines{"BringToForeground"});
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "main.hta|q"});
}

TEST_F(TrayTest, OtherMouseMessagesDoNothing) {
  State().MainAppIndex = 1;
  view.lines.clear();
  for (const unsigned message : {512u, 513u, 515u, 516u, 518u, 519u, 520u, 521u, 0u}) {
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
  EXPECT_EQ(view.lines, Lines{});
  EXPECT_EQ(Gets(), Lines{});
}

}  // namespace
}  // namespace hta::testing
