// Run at start-up: the Run-key entry, the check box at load and its clicks.
#include <gtest/gtest.h>

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
  const std::optional<FakeRegistry::Value> value =
      registry.Get(RegistryRoot::CurrentUser, kRunKeyPath, "Launcher");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, 1u);  // REG_SZ
  const std::string data = "\"C:\\Program Files\\HTA Launcher\\Launcher.exe\"";
  // The byte count includes the terminating NUL.
  std::vector<std::uint8_t> expected(data.begin(), data.end());
  expected.push_back(0);
  EXPECT_EQ(value->data, expected);
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

TEST_F(RunAtStartupTest, NoRunKeyAtAllLeavesTheBoxClear) {
  Form().Form_Load();
  EXPECT_EQ(view.LinesStartingWith("SetRunChecked"), Lines{"SetRunChecked false"});
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

TEST_F(RunAtStartupTest, KeyThatCannotBeOpenedIsReportedAndTheBoxKeepsItsState) {
  registry.createKeyFails = 5;
  Tick(true);
  ASSERT_EQ(dialogs.inner.shown.size(), 1u);
  EXPECT_EQ(dialogs.inner.shown[0].text, "Error 5 opening key\r\nAccess is denied.");
  EXPECT_EQ(dialogs.inner.shown[0].caption, "App Launcher");
  EXPECT_TRUE(view.runChecked);
  EXPECT_EQ(RunValue(), std::nullopt);
}

TEST_F(RunAtStartupTest, ValueThatCannotBeWrittenIsReportedAndTheKeyClosed) {
  registry.setValueFails = 1013;
  Tick(true);
  EXPECT_EQ(Messages(),
            Lines{"Error 1013 setting key\r\nThe configuration registry key could not be written."});
  EXPECT_EQ(registry.calls.back(), "CloseKey [" + kRunKeyPath + "] -> 0");
}

TEST_F(RunAtStartupTest, RegistrationThatCannotBeRemovedIsReported) {
  registry.PutString(RegistryRoot::CurrentUser, kRunKeyPath, "Launcher", "x");
  registry.deleteValueFails = 5;
  Tick(false);
  EXPECT_EQ(Messages(), Lines{"Error 5 setting key\r\nAccess is denied."});
  EXPECT_EQ(RunValue(), "x");
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
