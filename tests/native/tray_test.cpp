// The tray icon's notifications, the popup preference's menu entry and the
// poll timer through frmMain over fakes.
#include <gtest/gtest.h>

#include <string>

#include "fetch_fixture.h"

namespace hta::testing {
namespace {

using TrayTest = FetchTest;

TEST_F(TrayTest, LeftButtonUpWithoutMainApplicationOnlyBringsTheWindowForward) {
  view.lines.clear();
  Form().TrayNotification(514);
  EXPECT_EQ(view.lines, Lines{"BringToForeground"});
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

TEST_F(TrayTest, RightButtonUpShowsTheTrayMenuAfterBringingTheWindowForward) {
  view.lines.clear();
  Form().TrayNotification(517);
  EXPECT_EQ(view.lines, (Lines{"BringToForeground", "ShowTrayMenu"}));
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

TEST_F(TrayTest, ShowPopupsTogglesAndTwiceLeavesItAsItWas) {
  ASSERT_TRUE(view.showPopupsChecked);
  Form().smnuShowPopups_Click();
  EXPECT_FALSE(view.showPopupsChecked);
  Form().smnuShowPopups_Click();
  EXPECT_TRUE(view.showPopupsChecked);
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

TEST_F(TrayTest, TimerTickPollsTheActionList) {
  State().ActionUrl = kActions;
  Form().Timer1_Timer();
  EXPECT_EQ(Gets(), Lines{PollUrl()});
}

}  // namespace
}  // namespace hta::testing
