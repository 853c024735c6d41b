// The registry, user-settings and single-copy ports against the real Win32
// calls, for what the real program (launcher_e2e_test.cpp: the settings
// stored and read back, the Run value, a second copy) cannot be made to
// meet: texts at the buffer's end, values other programs wrote, names that
// would address other keys, and foreign objects under the program's name. Every test
// works under a key or a name of its own that carries the process id, so
// suites running side by side never meet, and the keys are deleted again
// whatever the outcome.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ports/registry.h"
#include "win32/unique_handle.h"
#include "win32/win32_headers.h"
#include "win32/win32_registry.h"
#include "win32/win32_single_instance.h"
#include "win32/win32_user_settings.h"

namespace {

using hta::RegistryKey;
using hta::win32::UniqueRegKey;

constexpr std::uint32_t kCurrentUser = static_cast<std::uint32_t>(hta::RegistryRoot::CurrentUser);

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

// The bytes of `text` with its terminating NUL.
std::vector<std::uint8_t> Bytes(const std::string& text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

// The program reads its registry texts into 255-byte buffers: 254
// characters and their NUL fit, one more does not.
TEST(RegistryPortTest, A255ByteBufferHolds254CharactersAndNoMore) {
  hta::win32::Win32Registry registry;
  const ScratchKey scratch{Unique("HtaLauncherTests.Registry")};
  RegistryKey key;
  ASSERT_EQ(
      registry.CreateKey(kCurrentUser, scratch.path().c_str(), hta::kRegistryKeyWrite | KEY_QUERY_VALUE, key),
      hta::kRegistrySuccess);
  const auto fits = Bytes(std::string(254, 'x'));
  ASSERT_EQ(registry.SetValue(key, "Fits", hta::kRegistryString, fits), hta::kRegistrySuccess);
  ASSERT_EQ(registry.SetValue(key, "TooLong", hta::kRegistryString, Bytes(std::string(255, 'y'))),
            hta::kRegistrySuccess);
  std::uint32_t type = 0;
  std::uint32_t size = 255;
  std::vector<std::uint8_t> data(255, 0xAA);
  EXPECT_EQ(registry.QueryValue(key, "Fits", type, data, size), hta::kRegistrySuccess);
  EXPECT_EQ(type, hta::kRegistryString);
  EXPECT_EQ(size, 255u);
  EXPECT_EQ(data, fits);
  size = 255;
  EXPECT_EQ(registry.QueryValue(key, "TooLong", type, data, size), hta::kRegistryMoreData);
  EXPECT_EQ(size, 256u) << "a failed query reports the size the value needs";
  EXPECT_EQ(registry.CloseKey(key), hta::kRegistrySuccess);
}

// An empty text is a stored value; long texts and ANSI bytes pass whole;
// only texts are read, and one another program wrote without its NUL (or
// with one inside) is read up to its end; names that would address other
// keys are refused.
TEST(UserSettingsPortTest, StoresAndReadsTextsWholeAndRefusesNamesThatAddressOtherKeys) {
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
