// The settings file's name; reading and writing it through the real profile
// calls is shown under Wine (tests/windows/ini_file_test.cpp).
#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include "fakes/fake_environment.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_profile.h"

namespace hta {
namespace {

// The shell gives a drive's root with its backslash, every other folder
// without one.
TEST(IniFileNameTest, LiesBesideTheProgram) {
  fakes::FakeFileSystem files;
  fakes::FakeProfile profile{files};
  fakes::FakeEnvironment environment{"C:\\", "MyLauncher"};
  EXPECT_EQ(IniFile(profile, files, environment).FileName(), "C:\\MyLauncher.ini");
  fakes::FakeEnvironment inFolder;
  EXPECT_EQ(IniFile(profile, files, inFolder).FileName(), "C:\\Program Files\\HTA Launcher\\Launcher.ini");
}

}  // namespace
}  // namespace hta
