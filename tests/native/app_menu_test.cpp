// The application menu: tags, opening an entry, and the download of new
// versions of application files. The end-to-end tests under Wine open
// entries and the main application through the real shell and download a
// login's files; these pin the refusals and the failures they cannot reach.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "client/app_menu.h"
#include "launcher_fixture.h"

namespace hta::testing {
namespace {

class AppMenuTest : public LauncherTest {
 protected:
  AppMenuTest() { State().htaFolder = kHtaFolder; }

  AppMenu& Menu() { return Program().Menu(); }
};

// Tags and entries

TEST(SplitTagTest, SplitsAtTheFirstOfExactlyThreeAts) {
  EXPECT_EQ(SplitTag("a.hta@@@@x")->fileName, "a.hta");
  EXPECT_EQ(SplitTag("a.hta@@@@x")->parameters, "@x");
  EXPECT_EQ(SplitTag("a.hta@@x"), std::nullopt);
}

// Entries never filled or outside 1 to 10 open nothing; a failed shell
// start is not reported.
TEST_F(AppMenuTest, EntryOpensItsFileWithTheParametersUpToASeparator) {
  shellOpen.result = 2;
  Menu().FillMenuEntry(2, "B", "c.hta", "one@@@two");
  for (const int index : {0, 1, 2, 11}) {
    Program().MenuEntryChosen(index);
  }
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "c.hta|one"});
  EXPECT_EQ(Messages(), Lines{});
}

TEST_F(AppMenuTest, FileNameOutsideTheFolderKeepsTheEntryButIsNeverOpened) {
  // Not as the main application of the login, which still goes to the tray...
  ServeLogin(App("..\\..\\x.hta", "X", "", true));
  Program().ReconnectClicked();
  EXPECT_TRUE(Program().InTray());
  // ...nor from the menu.
  Program().MenuEntryChosen(1);
  EXPECT_TRUE(Menu().Visible(1));
  EXPECT_EQ(Launches(), Lines{});
}

// Whatever the path comes from (an entry, the main application, a launch
// action, a popup link), the shell is handed only ".hta" files.
TEST_F(AppMenuTest, OnlyHtaFilesAreEverOpened) {
  for (const char* name : {"a.hta", "B.HTA", "c.d.Hta", "tool.cmd .hta"}) {
    LaunchFile(shellOpen, kHtaFolder + name, "p");
  }
  for (const char* name : {"x.exe", "x.cmd", "x.bat",  "x.com",  "x.scr",     "x.pif",       "x.lnk",
                           "x.url", "x.js",  "x.vbs",  "x.wsf",  "x.cpl",     "x.msi",       "x.ps1",
                           "x",     "hta",   "x.hta.", "x.hta ", "x.hta.exe", "x.cmd:a.hta", "nul.hta"}) {
    LaunchFile(shellOpen, kHtaFolder + name, "p");
  }
  LaunchFile(shellOpen, kHtaFolder, "p");
  EXPECT_EQ(Launches(), (Lines{kHtaFolder + "a.hta|p", kHtaFolder + "B.HTA|p", kHtaFolder + "c.d.Hta|p",
                               kHtaFolder + "tool.cmd .hta|p"}));
  Menu().FillMenuEntry(1, "Tool", "tool.cmd", "");
  Program().MenuEntryChosen(1);
  EXPECT_TRUE(Menu().Visible(1));
  EXPECT_EQ(shellOpen.executed.size(), 4u);
}

// New versions

TEST_F(AppMenuTest, ADownloadReplacesTheFileOnlyWhenItArrived) {
  files.Put(kHtaFolder + "a.hta", std::string(1000, 'o'));
  Serve("http://files.test/a.hta", "abc");
  Program().Session().DownloadNewVersion("a.hta", "http://files.test/a.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "abc\r\n");
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta.new"));
  // A failed download keeps the old file, creates none and clears the status.
  Program().Session().DownloadNewVersion("a.hta", "http://files.test/missing");
  Program().Session().DownloadNewVersion("b.hta", "http://files.test/missing");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "abc\r\n");
  EXPECT_FALSE(files.Exists(kHtaFolder + "b.hta"));
  EXPECT_EQ(view.statusText, "");
}

TEST_F(AppMenuTest, AFailedWriteOrMoveKeepsTheOldVersion) {
  struct Case {
    const char* fault;
    std::function<void(const std::string& target)> cause;
  };
  const Case cases[] = {
      {"write fails halfway", [&](const std::string&) { files.writesFail = true; }},
      // Locked by the running application.
      {"target in use", [&](const std::string& target) { files.MarkUnreadable(target); }},
      {"move fails", [&](const std::string&) { files.movesFail = true; }},
  };
  Serve("http://files.test/new", "new");
  for (const Case& c : cases) {
    const std::string name = std::string(c.fault) + ".hta";
    files.Put(kHtaFolder + name, "old");
    c.cause(kHtaFolder + name);
    Program().Session().DownloadNewVersion(name, "http://files.test/new");
    files.writesFail = false;
    files.movesFail = false;
    EXPECT_EQ(files.Contents(kHtaFolder + name), "old") << c.fault;
    EXPECT_FALSE(files.Exists(kHtaFolder + name + ".new")) << c.fault;
  }
}

}  // namespace
}  // namespace hta::testing
