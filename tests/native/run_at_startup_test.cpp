// Run at start-up: the Run-key entry written and removed by the check box.
// The end-to-end tests under Wine tick and clear the real box, at a drive's
// root too, and see an existing registration tick it at start-up; these pin
// the bytes written, the other values of the key, a cleared box outliving an
// upgrade and the failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

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
    Program().RunAtStartupClicked();
  }
};

TEST_F(RunAtStartupTest, TheBoxWritesOrRemovesItsOwnRunValue) {
  registry.PutString(RegistryRoot::CurrentUser, kRunKeyPath, "Other", "\"C:\\Other.exe\"");
  Tick(false);
  Tick(true);
  // The quoted full path, written with its NUL.
  EXPECT_EQ(RunValue(), "\"C:\\Program Files\\HTA Launcher\\Launcher.exe\"");
  Tick(false);
  EXPECT_EQ(RunValue(), std::nullopt);
  EXPECT_EQ(RunValue("Other"), "\"C:\\Other.exe\"");
  EXPECT_EQ(Messages(), Lines{});
}

TEST_F(RunAtStartupTest, AClearedBoxStaysClearedWhenAnUpgradeWritesTheValueBack) {
  Tick(true);
  Tick(false);
  EXPECT_EQ(settings.Get("HTA_Launcher", "settings", "runAtStartup"), "False");
  // The installer's upgrade registers the program again.
  registry.PutString(RegistryRoot::CurrentUser, kRunKeyPath, "Launcher", "\"C:\\New\\Launcher.exe\"");
  Program().Start();
  EXPECT_EQ(RunValue(), std::nullopt);
  EXPECT_FALSE(view.runChecked);
}

TEST_F(RunAtStartupTest, RegistryFailuresAreReportedToTheUser) {
  struct Case {
    std::int32_t FakeRegistry::*fails;
    std::int32_t code;
    bool checked;
    const char* message;
  };
  for (const Case& c : {
           Case{&FakeRegistry::createKeyFails, 12345, true,
                "Error 12345 opening key\r\nThe registry reported an unexpected error."},
           Case{&FakeRegistry::setValueFails, 1013, true,
                "Error 1013 setting key\r\nThe configuration registry key could not be written."},
           Case{&FakeRegistry::deleteValueFails, 5, false, "Error 5 setting key\r\nAccess is denied."},
       }) {
    registry.PutString(RegistryRoot::CurrentUser, kRunKeyPath, "Launcher", "x");
    registry.*c.fails = c.code;
    dialogs.shown.clear();
    Tick(c.checked);
    registry.*c.fails = 0;
    EXPECT_EQ(Messages(), Lines{c.message});
    // The box keeps the state the user gave it.
    EXPECT_EQ(view.runChecked, c.checked) << c.message;
    EXPECT_EQ(RunValue(), "x") << c.message;
  }
}

}  // namespace
}  // namespace hta::testing
