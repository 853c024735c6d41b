// Run at start-up: the Run-key entry, the check box at load and its clicks.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "launcher_fixture.h"
#include "shell/run_at_startup.h"

namespace hta::testing {
namespace {

using fakes::FakeRegistry;

class RunAtStartupTest : public LauncherTest {
 protected:
  std::optional<std::string> RunValue(const std::string& name = "Launcher") const {
    return registry.GetString(RegistryRoot::CurrentUser, kRunKeyPath, name);
  }

  void Tick(bool checked) {
    view.runChecked = checked;
    Form().chkRun_Click();
  }
};

TEST_F(RunAtStartupTest, TickingWritesTheQuotedFullPathAsAString) {
  Tick(true);
  EXPECT_EQ(RunValue(), "\"C:\\Program Files\\HTA Launcher\\Launcher.exe\"");
  // A REG_SZ whose byte count includes the terminating NUL.
  EXPECT_EQ(registry.calls, (Lines{
                                "CreateKey 0x80000001 [" + kRunKeyPath + "] access=0x20006 -> 0",
                                "SetValue [" + kRunKeyPath + "] [Launcher] type=1 size=45 -> 0",
                                "CloseKey [" + kRunKeyPath + "] -> 0",
                            }));
  EXPECT_EQ(Messages(), Lines{});
}

TEST_F(RunAtStartupTest, TickingAndClearingLeavesTheRunKeyAsItWas) {
  registry.PutString(RegistryRoot::CurrentUser, kRunKeyPath, "Other", "\"C:\\Other.exe\"");
  Tick(true);
  Tick(false);
  EXPECT_EQ(RunValue(), std::nullopt);
  EXPECT_EQ(RunValue("Other"), "\"C:\\Other.exe\"");
  EXPECT_EQ(Messages(), Lines{});
}

TEST_F(RunAtStartupTest, ClearingWhenNothingIsRegisteredShowsNothing) {
  Tick(false);
  EXPECT_EQ(Messages(), Lines{});
  EXPECT_EQ(registry.calls.back(), "CloseKey [" + kRunKeyPath + "] -> 0");
}

TEST_F(RunAtStartupTest, DriveRootGivesASingleBackslash) {
  env.exeFolder = "D:\\";
  Tick(true);
  EXPECT_EQ(RunValue(), "\"D:\\Launcher.exe\"");
  EXPECT_EQ(RunCommand("C:\\Apps", "HtaLauncher"), "\"C:\\Apps\\HtaLauncher.exe\"");
  EXPECT_EQ(RunCommand("C:\\", "HtaLauncher"), "\"C:\\HtaLauncher.exe\"");
}

TEST_F(RunAtStartupTest, ValueOfTheProgramsNamePointingElsewhereTicksTheBoxAtStartUp) {
  registry.PutString(RegistryRoot::CurrentUser, kRunKeyPath, "Launcher", "C:\\Elsewhere\\Launcher.exe");
  Form().Form_Load();
  EXPECT_TRUE(view.runChecked);
  EXPECT_EQ(view.LinesStartingWith("SetRunChecked"), Lines{"SetRunChecked true"});
  // Asked without reading the data.
  EXPECT_EQ(registry.calls[0], "OpenKey 0x80000001 [" + kRunKeyPath + "] access=0x20019 -> 0");
  EXPECT_EQ(registry.calls[1], "QueryValue [" + kRunKeyPath + "] [Launcher] buffer=0 -> 0 type=1 size=26");
  EXPECT_EQ(registry.calls[2], "CloseKey [" + kRunKeyPath + "] -> 0");
}

TEST_F(RunAtStartupTest, SettingTheBoxAtLoadWritesNothingEvenIfItRaisesAClick) {
  registry.PutString(RegistryRoot::CurrentUser, kRunKeyPath, "Launcher", "x");
  // A window that (against its contract) raises the click when set: the
  // loading flag must swallow it.
  std::vector<bool> loadingDuringSet;
  view.onCall = [&](const std::string& line) {
    if (line.rfind("SetRunChecked", 0) == 0) {
      loadingDuringSet.push_back(form->isLoading());
      form->chkRun_Click();
    }
  };
  Form().Form_Load();
  EXPECT_EQ(loadingDuringSet, std::vector<bool>{true});
  EXPECT_FALSE(Form().isLoading());
  EXPECT_EQ(registry.writeCalls, 0u);
}

TEST_F(RunAtStartupTest, RegistryFailuresAreReportedAndChangeNothing) {
  struct Case {
    const char* what;
    std::int32_t FakeRegistry::*fails;
    std::int32_t code;
    bool checked;
    const char* message;
  };
  for (const Case& c : {
           Case{"create", &FakeRegistry::createKeyFails, 5, true, "Error 5 opening key\r\nAccess is denied."},
           Case{"set", &FakeRegistry::setValueFails, 1013, true,
                "Error 1013 setting key\r\nThe configuration registry key could not be written."},
           Case{"delete", &FakeRegistry::deleteValueFails, 5, false,
                "Error 5 setting key\r\nAccess is denied."},
       }) {
    registry.PutString(RegistryRoot::CurrentUser, kRunKeyPath, "Launcher", "x");
    registry.*c.fails = c.code;
    dialogs.inner.shown.clear();
    Tick(c.checked);
    registry.*c.fails = 0;
    ASSERT_EQ(dialogs.inner.shown.size(), 1u) << c.what;
    EXPECT_EQ(dialogs.inner.shown[0].text, c.message) << c.what;
    EXPECT_EQ(dialogs.inner.shown[0].caption, "App Launcher") << c.what;
    // The box keeps the state the user gave it; the key is closed.
    EXPECT_EQ(view.runChecked, c.checked) << c.what;
    EXPECT_EQ(RunValue(), "x") << c.what;
    EXPECT_EQ(registry.OpenKeys(), Lines{}) << c.what;
  }
}

TEST(RegistryErrorDescriptionTest, UnknownCodesStillSaySomething) {
  EXPECT_EQ(RegistryErrorDescription(2), "The system cannot find the file specified.");
  EXPECT_FALSE(RegistryErrorDescription(12345).empty());
}

TEST_F(RunAtStartupTest, ClickAfterTheProgramEndedDoesNothing) {
  Form().Form_Unload();
  Tick(true);
  EXPECT_EQ(registry.writeCalls, 0u);
}

}  // namespace
}  // namespace hta::testing
