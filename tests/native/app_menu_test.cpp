// The application menu: tags, opening an entry, and the download of new
// versions of application files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/app_menu.h"
#include "launcher_fixture.h"

namespace hta::testing {
namespace {

class AppMenuTest : public LauncherTest {
 protected:
  AppMenuTest() { State().HtaFolder = kHtaFolder; }

  AppMenu& Menu() { return Form().Menu(); }
};

// ---------------------------------------------------------------------------
// Tags

TEST(SplitTagTest, FileNameAndTheTextUpToTheNextSeparator) {
  EXPECT_EQ(SplitTag("a.hta@@@p q")->fileName, "a.hta");
  EXPECT_EQ(SplitTag("a.hta@@@p q")->parameters, "p q");
  EXPECT_EQ(SplitTag("a.hta@@@")->parameters, "");
  EXPECT_EQ(SplitTag("a.hta@@@one@@@two")->parameters, "one");
  EXPECT_EQ(SplitTag("@@@x")->fileName, "");
  // Case-sensitive, exactly three.
  EXPECT_EQ(SplitTag("a.hta@@x"), std::nullopt);
  EXPECT_EQ(SplitTag(""), std::nullopt);
  EXPECT_EQ(SplitTag("a.hta@@@@x")->parameters, "@x");
}

TEST_F(AppMenuTest, InitialEntriesAreThoseOfTheWindow) {
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(Menu().Caption(i), "Start application " + std::to_string(i));
    EXPECT_EQ(Menu().Visible(i), i <= 5);
    EXPECT_EQ(Menu().Tag(i), "");
    EXPECT_EQ(Menu().Visible(i), view.entries[static_cast<std::size_t>(i - 1)].visible);
  }
  EXPECT_FALSE(Menu().Visible(0));
  EXPECT_FALSE(Menu().Visible(11));
}

TEST_F(AppMenuTest, FillMenuEntryShowsTheEntryAndRecordsTheTag) {
  Menu().FillMenuEntry(7, "Seven", "seven.hta", "a b");
  EXPECT_TRUE(Menu().Visible(7));
  EXPECT_EQ(Menu().Caption(7), "Seven");
  EXPECT_EQ(Menu().Tag(7), "seven.hta@@@a b");
  EXPECT_EQ(view.lines, Lines{"SetAppEntry 7 [Seven] visible"});
  Menu().FillMenuEntry(11, "Eleven", "x", "y");
  Menu().FillMenuEntry(0, "Zero", "x", "y");
  EXPECT_EQ(view.lines.size(), 1u);
}

// ---------------------------------------------------------------------------
// Opening an entry

TEST_F(AppMenuTest, TagEndingWithTheSeparatorOpensTheFileWithNoParameters) {
  Menu().FillMenuEntry(1, "A", "a.hta", "");
  Form().smnuApp_Click(1);
  ASSERT_EQ(shell.executed.size(), 1u);
  EXPECT_EQ(shell.executed[0], (fakes::FakeShell::Executed{"open", kHtaFolder + "a.hta", "", "C:\\", 1}));
}

TEST_F(AppMenuTest, ParametersArePassedExactlyAsStored) {
  Menu().FillMenuEntry(2, "B", "b.hta", "  /x \"quoted\" y  ");
  Form().smnuApp_Click(2);
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "b.hta|  /x \"quoted\" y  "});
}

TEST_F(AppMenuTest, ParametersHoldingTheSeparatorLoseTheRest) {
  Menu().FillMenuEntry(3, "C", "c.hta", "one@@@two");
  Form().smnuApp_Click(3);
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "c.hta|one"});
}

TEST_F(AppMenuTest, FileIsOpenedWhetherOrNotItIsThere) {
  Menu().FillMenuEntry(1, "A", "missing.hta", "p");
  Form().smnuApp_Click(1);
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "missing.hta|p"});
}

TEST_F(AppMenuTest, EntryNeverFilledOpensNothing) {
  Form().smnuApp_Click(1);
  Form().smnuApp_Click(0);
  Form().smnuApp_Click(11);
  Form().smnuApp_Click(-5);
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_FALSE(Form().Ended());
}

TEST_F(AppMenuTest, FailedShellStartIsNotReported) {
  shell.result = 2;
  Menu().FillMenuEntry(1, "A", "a.hta", "");
  Form().smnuApp_Click(1);
  EXPECT_EQ(shell.executed.size(), 1u);
  EXPECT_EQ(Messages(), Lines{});
}

TEST_F(AppMenuTest, FileNameOutsideTheFolderKeepsTheEntryButOpensNothing) {
  for (const char* name :
       {"..\\evil.hta", "C:\\Windows\\notepad.exe", "sub/a.hta", "nul.hta", "a.hta.", ""}) {
    Menu().FillMenuEntry(4, "Four", name, "p");
    Form().smnuApp_Click(4);
    EXPECT_TRUE(Menu().Visible(4)) << name;
    EXPECT_EQ(Menu().Caption(4), "Four");
  }
  EXPECT_EQ(Launches(), Lines{});
}

TEST_F(AppMenuTest, MainApplicationWithARefusedNameGoesToTheTrayWithoutOpening) {
  ServeLogin(App("..\\..\\x.hta", "X", "", true));
  Form().cmdLogin_Click();
  EXPECT_TRUE(Menu().Visible(1));
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_TRUE(Form().InTray());
}

// ---------------------------------------------------------------------------
// New versions

TEST_F(AppMenuTest, BodyOfThreeCharactersLeavesAFileOfFiveBytes) {
  Serve("http://files.test/a.hta", "abc");
  Form().Session().DownloadNewVersion("a.hta", "http://files.test/a.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "abc\r\n");
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta.new"));
  EXPECT_EQ(view.lines, (Lines{"SetStatusText [downloading new version of a.hta]", "SetStatusText []"}));
}

TEST_F(AppMenuTest, DownloadReplacesAnExistingFileWhateverItsLength) {
  files.Put(kHtaFolder + "a.hta", std::string(1000, 'o'));
  Serve("http://files.test/a.hta", "new");
  Form().Session().DownloadNewVersion("a.hta", "http://files.test/a.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "new\r\n");
}

TEST_F(AppMenuTest, FailedDownloadKeepsTheOldFileAndCreatesNone) {
  files.Put(kHtaFolder + "a.hta", "old");
  Form().Session().DownloadNewVersion("a.hta", "http://files.test/missing");
  Form().Session().DownloadNewVersion("b.hta", "http://files.test/missing");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "old");
  EXPECT_FALSE(files.Exists(kHtaFolder + "b.hta"));
  EXPECT_FALSE(files.Exists(kHtaFolder + "b.hta.new"));
  // The status label is cleared in any case.
  EXPECT_EQ(view.statusText, "");
}

TEST_F(AppMenuTest, WriteThatFailsHalfwayKeepsTheOldVersion) {
  files.Put(kHtaFolder + "a.hta", "old");
  Serve("http://files.test/a.hta", "new");
  files.writesFail = true;
  Form().Session().DownloadNewVersion("a.hta", "http://files.test/a.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "old");
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta.new"));
  EXPECT_FALSE(Form().Ended());
}

TEST_F(AppMenuTest, TargetInUseKeepsTheOldVersionAndLeavesNoPartialFile) {
  files.Put(kHtaFolder + "a.hta", "old");
  files.MarkUnreadable(kHtaFolder + "a.hta");  // locked by the running application
  Serve("http://files.test/a.hta", "new");
  Form().Session().DownloadNewVersion("a.hta", "http://files.test/a.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "old");
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta.new"));
}

TEST_F(AppMenuTest, FailedMoveKeepsTheOldVersion) {
  files.Put(kHtaFolder + "a.hta", "old");
  files.movesFail = true;
  Serve("http://files.test/a.hta", "new");
  Form().Session().DownloadNewVersion("a.hta", "http://files.test/a.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "old");
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta.new"));
}

TEST_F(AppMenuTest, RefusedFileNamesAreNotEvenFetched) {
  Serve("http://files.test/x", "payload");
  for (const char* name : {"..\\x.hta", "..", "C:x.hta", "dir\\x.hta", "dir/x.hta", "x.hta:stream", "con",
                           "LPT1.hta", "x.hta "}) {
    Form().Session().DownloadNewVersion(name, "http://files.test/x");
  }
  EXPECT_EQ(Gets(), Lines{});
  EXPECT_EQ(view.lines, Lines{});
}

TEST_F(AppMenuTest, DownloadsOfTheReplyLandInTheApplicationFolderInOrder) {
  ServeLogin(Download("a.hta", "http://files.test/a") + Download("b.hta", "http://files.test/b") +
             Download("c.hta", "") + "<download filename=\"d.hta\"/>\r\n" +
             Download("../e.hta", "http://files.test/a"));
  Serve("http://files.test/a", "A");
  Serve("http://files.test/b", "B");
  Form().cmdLogin_Click();
  EXPECT_EQ(Gets(), (Lines{BootUrl(kBoot1), LoginUrl(""), "http://files.test/a", "http://files.test/b"}));
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "A\r\n");
  EXPECT_EQ(files.Contents(kHtaFolder + "b.hta"), "B\r\n");
  EXPECT_FALSE(files.Exists(kTemp + "e.hta"));
}

TEST(WriteNewVersionTest, WritesBesideTheTargetThenMovesItIntoPlace) {
  fakes::FakeFileSystem files;
  files.Put("C:\\f\\a.hta", "old");
  EXPECT_TRUE(WriteNewVersion(files, "C:\\f\\a.hta", "new"));
  EXPECT_EQ(files.Contents("C:\\f\\a.hta"), "new");
  EXPECT_FALSE(files.Exists("C:\\f\\a.hta.new"));
}

}  // namespace
}  // namespace hta::testing
