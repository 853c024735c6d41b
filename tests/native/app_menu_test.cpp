// The application menu: tags, opening an entry, and the download of new
// versions of application files.
#include <gtest/gtest.h>

#include <functional>
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

// Tags and entries

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

// Opening an entry

TEST_F(AppMenuTest, EntryOpensItsFileInTheFolderWithTheParametersAsStored) {
  struct Case {
    const char* fileName;
    const char* parameters;
    const char* opened;
  };
  // The file is opened whether or not it is there (none of these is).
  for (const Case& c : {Case{"a.hta", "", ""}, Case{"b.hta", "  /x \"quoted\" y  ", "  /x \"quoted\" y  "},
                        // Parameters holding the separator lose the rest.
                        Case{"c.hta", "one@@@two", "one"}}) {
    shell.executed.clear();
    Menu().FillMenuEntry(2, "B", c.fileName, c.parameters);
    Form().smnuApp_Click(2);
    EXPECT_EQ(
        shell.executed,
        (std::vector<fakes::FakeShell::Executed>{{"open", kHtaFolder + c.fileName, c.opened, "C:\\", 1}}))
        << c.fileName;
  }
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

// New versions

TEST_F(AppMenuTest, BodyOfThreeCharactersReplacesALongerFileWithOneOfFiveBytes) {
  files.Put(kHtaFolder + "a.hta", std::string(1000, 'o'));
  Serve("http://files.test/a.hta", "abc");
  Form().Session().DownloadNewVersion("a.hta", "http://files.test/a.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "abc\r\n");
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta.new"));
  EXPECT_EQ(view.lines, (Lines{"SetStatusText [downloading new version of a.hta]", "SetStatusText []"}));
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

TEST_F(AppMenuTest, WriteOrMoveThatFailsKeepsTheOldVersionAndLeavesNoPartialFile) {
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
    Form().Session().DownloadNewVersion(name, "http://files.test/new");
    files.writesFail = false;
    files.movesFail = false;
    EXPECT_EQ(files.Contents(kHtaFolder + name), "old") << c.fault;
    EXPECT_FALSE(files.Exists(kHtaFolder + name + ".new")) << c.fault;
  }
  EXPECT_FALSE(Form().Ended());
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

}  // namespace
}  // namespace hta::testing
