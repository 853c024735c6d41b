// The user-settings and single-copy ports against the real Win32 calls, for
// what the real program (launcher_e2e_test.cpp: the settings stored and read
// back, the Run value, a second copy) cannot be made to meet: values other
// programs wrote, names that would address other keys, and foreign objects
// under the program's name. Every test works under a key or a name of its
// own that carries the process id, so suites running side by side never
// meet, and the keys are deleted again whatever the outcome.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "win32/unique_handle.h"
#include "win32/win32_headers.h"
#include "win32/win32_registry.h"
#include "win32/win32_single_instance.h"
#include "win32/win32_user_settings.h"

namespace {

using hta::win32::UniqueRegKey;

std::string Unique(const std::string& stem) {
  return stem + "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(GetTickCount64());
}

// HKCU\Software\<name>, deleted with everything below it on destruction.
class ScratchKey {
 public:
  explicit ScratchKey(const std::string& name) : path_("Software\\" + name) {}
  ~ScratchKey() { RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str()); }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// An empty text is a stored value; long texts and ANSI bytes pass whole;
// only texts are read, and one another program wrote without its NUL (or
// with one inside) is read up to its end.
TEST(UserSettingsPortTest, TextsComeBackWholeWhoeverWroteThem) {
  const std::string application = Unique("HtaLauncherTests.Settings");
  const ScratchKey scratch{application};
  hta::win32::Win32UserSettings settings;
  EXPECT_EQ(settings.Get(application, "user", "user"), std::nullopt);
  for (const std::string& text :
       {std::string(), std::string(5000, 'L'), std::string("Jos\xe9 M\xfcller & <Co>")}) {
    settings.Save(application, "user", "user", text);
    EXPECT_EQ(settings.Get(application, "user", "user"), text);
  }
  UniqueRegKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (scratch.path() + "\\odd").c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.receive(), nullptr),
            ERROR_SUCCESS);
  const DWORD number = 7;
  RegSetValueExA(key.get(), "number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  RegSetValueExA(key.get(), "bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
  RegSetValueExA(key.get(), "twoNuls", 0, REG_SZ, reinterpret_cast<const BYTE*>("ab\0cd"), 6);
  EXPECT_EQ(settings.Get(application, "odd", "number"), std::nullopt) << "a number is no stored text";
  EXPECT_EQ(settings.Get(application, "odd", "bare"), "abc");
  EXPECT_EQ(settings.Get(application, "odd", "twoNuls"), "ab");
}

TEST(UserSettingsPortTest, NamesThatWouldAddressOtherKeysAreRefused) {
  const std::string application = Unique("HtaLauncherTests.Settings");
  const ScratchKey scratch{application};
  hta::win32::Win32UserSettings settings;
  settings.Save(application, "a\\b", "user", "x");
  settings.Save(application, "", "user", "x");
  settings.Save("", "user", "user", "x");
  EXPECT_EQ(settings.Get(application, "a\\b", "user"), std::nullopt);
  HKEY probe = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (scratch.path() + "\\a").c_str(), 0, KEY_READ, &probe),
            ERROR_FILE_NOT_FOUND);
}

// An object of another kind under the name lets the program run: an event,
// not a mutex, makes CreateMutexA fail with ERROR_INVALID_HANDLE, which is no
// sign of a copy.
TEST(SingleInstancePortTest, AnObjectOfAnotherKindIsNoCopy) {
  const std::string name = "Local\\" + Unique("HtaLauncherTests.Squatted");
  hta::win32::UniqueHandle squatter(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
  ASSERT_TRUE(squatter);
  EXPECT_FALSE(hta::win32::Win32SingleInstance(name, "HtaLauncherTests.NoSuchClass").AnotherCopyRunning());
}

}  // namespace
