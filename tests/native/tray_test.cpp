// The tray icon's notifications through frmMain over fakes, beyond what the
// real program shows under Wine (tests/windows/tray_e2e_test.cpp: a click
// and a double click each open the main application once, a right click the
// menu, a resume polls): the window brought forward, the messages ignored,
// clicks and double clicks in a row, the timer after a resume, and nothing
// after the end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The neighbours of the two button-up messages.
TEST_F(TrayTest, OtherMouseMessagesDoNothing) {
  State().MainAppIndex = 1;
  view.lines.clear();
  for (const unsigned message : {513u, 515u, 516u, 518u}) {
    Form().TrayNotification(message);
  }
  EXPECT_EQ(view.lines, Lines{});
  EXPECT_EQ(Launches(), Lines{});
}

// The shell's messages for a click, a double click, a triple click and a
// double click whose last up went elsewhere, then a click.
TEST_F(TrayTest, EveryClickOpensTheMainApplicationOnceADoubleClickToo) {
  files.Put(kHtaFolder + "main.hta", "MAIN");
  ServeLogin(App("main.hta", "Main", "p", true));
  Form().cmdLogin_Click();
  shell.executed.clear();
  const struct {
    std::vector<unsigned> messages;
    std::size_t opened;
  } cases[] = {{{513, 514}, 1},
               {{513, 514, 515, 514}, 1},
               {{513, 514, 515, 514, 513, 514}, 2},
               {{513, 514, 515, 513, 514}, 2}};
  for (const auto& c : cases) {
    shell.executed.clear();
    for (const unsigned message : c.messages) {
      Form().TrayNotification(message);
    }
    EXPECT_EQ(Launches(), Lines(c.opened, kHtaFolder + "main.hta|p")) << c.messages.size() << " messages";
  }
}

// Back from sleep, the next tick comes soon and polls; then the minute again.
// A tick skipped for a login keeps the short interval.
TEST_F(TrayTest, AfterAResumeTheListIsPolledSoonByATickOfItsOwnRules) {
  State().ActionUrl = kActions;
  view.lines.clear();
  Form().SystemResumed();
  EXPECT_EQ(view.lines, Lines{"ArmTimer 3000"});
  EXPECT_EQ(Gets(), Lines{});
  ServeLogin(App("a.hta", "A") + ActionUrl(kActions));
  pump.onEveryCall = [&, done = false](std::size_t) mutable {
    if (!done && Form().LoginRunning()) {
      done = true;
      Form().Timer1_Timer();
    }
  };
  Form().cmdLogin_Click();
  pump.onEveryCall = nullptr;
  EXPECT_EQ(Gets(), (Lines{BootUrl(kBoot1), LoginUrl("")}));
  view.lines.clear();
  Form().Timer1_Timer();
  EXPECT_EQ(view.lines, Lines{"ArmTimer 60000"});
  EXPECT_EQ(Gets().back(), PollUrl());
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
  EXPECT_EQ(Gets(), Lines{});
}

}  // namespace
}  // namespace hta::testing
