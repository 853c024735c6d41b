// The registry, user-settings, shell and single-copy ports against the real
// Win32 calls. Every test works under a key or a name of its own that
// carries the process id, so suites running side by side never meet, and the
// keys are deleted again whatever the outcome.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "ports/registry.h"
#include "win32/main_window.h"
#include "win32/unique_handle.h"
#include "win32/win32_headers.h"
#include "win32/win32_message_pump.h"
#include "win32/win32_registry.h"
#include "win32/win32_shell.h"
#include "win32/win32_single_instance.h"
#include "win32/win32_user_settings.h"

#include <shellapi.h>

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

std::vector<std::uint8_t> Bytes(const std::string& text, bool withNul = true) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  if (withNul) {
    bytes.push_back(0);
  }
  return bytes;
}

class RegistryPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(registry.CreateKey(kCurrentUser, scratch.path().c_str(),
                                 hta::kRegistryKeyWrite | KEY_QUERY_VALUE, key),
              hta::kRegistrySuccess);
    ASSERT_TRUE(key);
  }
  void TearDown() override {
    if (key) {
      EXPECT_EQ(registry.CloseKey(key), hta::kRegistrySuccess);
    }
  }

  hta::win32::Win32Registry registry;
  ScratchKey scratch{Unique("HtaLauncherTests.Registry")};
  RegistryKey key;
};

TEST_F(RegistryPortTest, StringRoundTripWithSizeQueryFirst) {
  const auto data = Bytes("Z:\\some where\\HtaLauncher.exe");
  ASSERT_EQ(registry.SetValue(key, "Path", hta::kRegistryString, data), hta::kRegistrySuccess);

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  ASSERT_EQ(registry.QueryValue(key, "Path", type, {}, size), hta::kRegistrySuccess);
  EXPECT_EQ(type, hta::kRegistryString);
  EXPECT_EQ(size, data.size()) << "the size counts the terminating NUL";

  std::vector<std::uint8_t> buffer(255, 0xAA);
  size = static_cast<std::uint32_t>(buffer.size());
  ASSERT_EQ(registry.QueryValue(key, "Path", type, buffer, size), hta::kRegistrySuccess);
  EXPECT_EQ(size, data.size());
  EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + size), data);
}

TEST_F(RegistryPortTest, DwordRoundTrip) {
  const std::uint32_t value = 42;
  std::uint8_t raw[4];
  std::memcpy(raw, &value, sizeof raw);
  ASSERT_EQ(registry.SetValue(key, "BootParams", hta::kRegistryDword, raw), hta::kRegistrySuccess);

  std::uint32_t type = 0;
  std::uint8_t read[4] = {};
  std::uint32_t size = sizeof read;
  ASSERT_EQ(registry.QueryValue(key, "BootParams", type, read, size), hta::kRegistrySuccess);
  EXPECT_EQ(type, hta::kRegistryDword);
  EXPECT_EQ(size, 4u);
  std::uint32_t back = 0;
  std::memcpy(&back, read, sizeof back);
  EXPECT_EQ(back, 42u);

  // Asked into a 255-byte text buffer, a number still reports its type and
  // its four bytes.
  std::vector<std::uint8_t> buffer(255);
  size = 255;
  ASSERT_EQ(registry.QueryValue(key, "BootParams", type, buffer, size), hta::kRegistrySuccess);
  EXPECT_EQ(type, hta::kRegistryDword);
  EXPECT_EQ(size, 4u);
}

TEST_F(RegistryPortTest, A255ByteBufferHolds254CharactersAndNoMore) {
  const std::string fits(254, 'x');  // 255 bytes with its NUL
  const std::string tooLong(255, 'y');
  ASSERT_EQ(registry.SetValue(key, "Fits", hta::kRegistryString, Bytes(fits)), hta::kRegistrySuccess);
  ASSERT_EQ(registry.SetValue(key, "TooLong", hta::kRegistryString, Bytes(tooLong)), hta::kRegistrySuccess);

  std::vector<std::uint8_t> buffer(255);
  std::uint32_t type = 0;
  std::uint32_t size = 255;
  ASSERT_EQ(registry.QueryValue(key, "Fits", type, buffer, size), hta::kRegistrySuccess);
  EXPECT_EQ(size, 255u);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + size - 1), fits);

  size = 255;
  EXPECT_EQ(registry.QueryValue(key, "TooLong", type, buffer, size), hta::kRegistryMoreData);
  EXPECT_EQ(size, 256u) << "a failed query reports the size the value needs";
  EXPECT_EQ(type, hta::kRegistryString);
}

TEST_F(RegistryPortTest, DeleteValueAndMissingValuesAndKeys) {
  ASSERT_EQ(registry.SetValue(key, "Gone", hta::kRegistryString, Bytes("soon")), hta::kRegistrySuccess);
  EXPECT_EQ(registry.DeleteValue(key, "Gone"), hta::kRegistrySuccess);

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(registry.QueryValue(key, "Gone", type, {}, size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry.DeleteValue(key, "Gone"), ERROR_FILE_NOT_FOUND)
      << "deleting twice reports, never throws";

  RegistryKey missing{12345};
  const std::string path = scratch.path() + "\\No\\Such\\Key";
  EXPECT_EQ(registry.OpenKey(kCurrentUser, path.c_str(), hta::kRegistryKeyRead, missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(missing) << "a failed open hands out no key";
}

TEST_F(RegistryPortTest, OpenFindsWhatCreateMadeAndCreateOpensWhatExists) {
  ASSERT_EQ(registry.SetValue(key, "Shared", hta::kRegistryString, Bytes("one")), hta::kRegistrySuccess);

  RegistryKey reader;
  ASSERT_EQ(registry.OpenKey(kCurrentUser, scratch.path().c_str(), hta::kRegistryKeyRead, reader),
            hta::kRegistrySuccess);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(registry.QueryValue(reader, "Shared", type, {}, size), hta::kRegistrySuccess);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(registry.CloseKey(reader), hta::kRegistrySuccess);

  RegistryKey again;
  ASSERT_EQ(registry.CreateKey(kCurrentUser, scratch.path().c_str(), hta::kRegistryKeyWrite, again),
            hta::kRegistrySuccess);
  EXPECT_EQ(registry.SetValue(again, "Shared", hta::kRegistryString, Bytes("two")), hta::kRegistrySuccess);
  EXPECT_EQ(registry.CloseKey(again), hta::kRegistrySuccess);
}

TEST(RegistryRootTest, PredefinedRootsAreSignExtended) {
  EXPECT_EQ(hta::win32::RootKey(0x80000001u), HKEY_CURRENT_USER);
  EXPECT_EQ(hta::win32::RootKey(0x80000002u), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(hta::win32::RootKey(0x80000000u), HKEY_CLASSES_ROOT);
}

class UserSettingsPortTest : public ::testing::Test {
 protected:
  std::string application = Unique("HtaLauncherTests.Settings");
  ScratchKey scratch{application};
  hta::win32::Win32UserSettings settings;
};

TEST_F(UserSettingsPortTest, LivesUnderSoftwareApplicationSection) {
  EXPECT_EQ(hta::win32::Win32UserSettings::KeyPath("HTA_Launcher", "user"), "Software\\HTA_Launcher\\user");
  EXPECT_EQ(hta::win32::Win32UserSettings::KeyPath("HTA_Launcher", "settings"),
            "Software\\HTA_Launcher\\settings");

  settings.Save(application, "user", "user", "jdoe");
  char text[64] = {};
  DWORD size = sizeof text;
  DWORD type = 0;
  const std::string path = scratch.path() + "\\user";
  ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, path.c_str(), "user", RRF_RT_ANY, &type, text, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(text, "jdoe");
  EXPECT_EQ(size, 5u) << "stored with its NUL";
}

TEST_F(UserSettingsPortTest, RoundTripsAndOverwrites) {
  EXPECT_EQ(settings.Get(application, "settings", "showPopups"), std::nullopt) << "nothing stored yet";
  settings.Save(application, "settings", "showPopups", "False");
  EXPECT_EQ(settings.Get(application, "settings", "showPopups"), "False");
  settings.Save(application, "settings", "showPopups", "True");
  EXPECT_EQ(settings.Get(application, "settings", "showPopups"), "True");

  settings.Save(application, "user", "user", "");
  EXPECT_EQ(settings.Get(application, "user", "user"), "") << "an empty text is a stored value";
  EXPECT_EQ(settings.Get(application, "user", "other"), std::nullopt);
  EXPECT_EQ(settings.Get(application, "nosection", "user"), std::nullopt);

  const std::string longText(5000, 'L');
  settings.Save(application, "user", "long", longText);
  EXPECT_EQ(settings.Get(application, "user", "long"), longText) << "no 255-byte limit here";

  const std::string ansi = "Jos\xe9 M\xfcller & <Co>";
  settings.Save(application, "user", "ansi", ansi);
  EXPECT_EQ(settings.Get(application, "user", "ansi"), ansi) << "bytes pass unchanged";
}

TEST_F(UserSettingsPortTest, ReadsOnlyTextsAndCopesWithMissingNul) {
  const std::string path = scratch.path() + "\\odd";
  UniqueRegKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, key.receive(), nullptr),
            ERROR_SUCCESS);
  const DWORD number = 7;
  RegSetValueExA(key.get(), "number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  // Written by some other program without the terminating NUL.
  RegSetValueExA(key.get(), "bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
  RegSetValueExA(key.get(), "twoNuls", 0, REG_SZ, reinterpret_cast<const BYTE*>("ab\0cd"), 6);

  EXPECT_EQ(settings.Get(application, "odd", "number"), std::nullopt) << "a number is no stored text";
  EXPECT_EQ(settings.Get(application, "odd", "bare"), "abc");
  EXPECT_EQ(settings.Get(application, "odd", "twoNuls"), "ab");
}

TEST_F(UserSettingsPortTest, RefusesNamesThatAddressOtherKeys) {
  settings.Save(application, "a\\b", "user", "x");
  settings.Save(application, "", "user", "x");
  settings.Save("", "user", "user", "x");
  EXPECT_EQ(settings.Get(application, "a\\b", "user"), std::nullopt);
  HKEY probe = nullptr;
  const std::string nested = scratch.path() + "\\a";
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nested.c_str(), 0, KEY_READ, &probe), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(hta::win32::Win32UserSettings::KeyPath("", "user"), std::nullopt);
}

// The folder of the running test program, where a scratch file may go.
std::string ScratchFile(const std::string& name) {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof temp, temp);
  return std::string(temp) + name;
}

TEST(ShellPortTest, ReportsMissingFilesAndMissingAssociations) {
  hta::win32::Win32Shell shell;
  const std::intptr_t missing =
      shell.Execute("open", ScratchFile(Unique("no-such-file") + ".hta"), "", "", SW_SHOWNORMAL);
  EXPECT_LE(missing, 32);
  EXPECT_EQ(missing, SE_ERR_FNF);

  // A file whose extension nothing is associated with.
  const std::string orphan = ScratchFile(Unique("orphan") + ".htaunknownext");
  {
    hta::win32::UniqueHandle file(CreateFileA(orphan.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
  }
  const std::intptr_t noAssociation = shell.Execute("", orphan, "", "", SW_SHOWNORMAL);
  DeleteFileA(orphan.c_str());
  EXPECT_LE(noAssociation, 32);
  EXPECT_EQ(noAssociation, SE_ERR_NOASSOC);
}

TEST(ShellPortTest, StartsAProgramWithItsParameters) {
  hta::win32::Win32Shell shell;
  // cmd.exe creates the marker file and ends; the shell reports success at
  // once, so the test waits for the file.
  const std::string marker = ScratchFile(Unique("shell-marker") + ".txt");
  const std::string parameters = "/c echo started> \"" + marker + "\"";
  const std::intptr_t result = shell.Execute("open", "cmd.exe", parameters, "", SW_HIDE);
  EXPECT_GT(result, 32);
  bool created = false;
  for (int i = 0; i < 250 && !created; ++i) {
    created = GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!created) {
      Sleep(20);
    }
  }
  EXPECT_TRUE(created) << marker;
  Sleep(50);  // cmd.exe may still hold the file open
  DeleteFileA(marker.c_str());
}

TEST(SingleInstancePortTest, TheSecondClaimSeesTheFirstUntilItEnds) {
  const std::string name = "Local\\" + Unique("HtaLauncherTests.SingleInstance");
  {
    hta::win32::Win32SingleInstance first(name, "HtaLauncherTests.NoSuchClass");
    EXPECT_FALSE(first.AnotherCopyRunning());
    EXPECT_FALSE(first.AnotherCopyRunning()) << "asking again repeats the answer";
    {
      hta::win32::Win32SingleInstance second(name, "HtaLauncherTests.NoSuchClass");
      EXPECT_TRUE(second.AnotherCopyRunning());
      EXPECT_TRUE(second.AnotherCopyRunning());
      second.ActivateOtherCopy();  // no window of the class: nothing happens
    }
    // The second copy let go of its handle at once, so it did not take the
    // claim over: a third still sees the first.
    hta::win32::Win32SingleInstance third(name, "HtaLauncherTests.NoSuchClass");
    EXPECT_TRUE(third.AnotherCopyRunning());
  }
  hta::win32::Win32SingleInstance afterwards(name, "HtaLauncherTests.NoSuchClass");
  EXPECT_FALSE(afterwards.AnotherCopyRunning()) << "the claim ends with its holder";
}

TEST(SingleInstancePortTest, AnObjectOfAnotherKindUnderTheNameLetsTheProgramRun) {
  // An event, not a mutex, under the name: CreateMutexA fails with
  // ERROR_INVALID_HANDLE, which is no sign of a copy, so this copy runs.
  const std::string name = "Local\\" + Unique("HtaLauncherTests.Squatted");
  hta::win32::UniqueHandle squatter(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
  ASSERT_TRUE(squatter);
  hta::win32::Win32SingleInstance instance(name, "HtaLauncherTests.NoSuchClass");
  EXPECT_FALSE(instance.AnotherCopyRunning());
}

// A plain window of a test class that counts the activation requests.
struct ActivationCounter {
  static inline int count = 0;
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == RegisterWindowMessageA(hta::win32::Win32SingleInstance::kActivateMessage)) {
      ++count;
      return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
};

TEST(SingleInstancePortTest, NeverActivatesAWindowOfItsOwnProcess) {
  const std::string className = Unique("HtaLauncherTests.OwnWindow");
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &ActivationCounter::Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = className.c_str();
  hta::win32::RegisteredClass registered(wc.hInstance, RegisterClassExA(&wc));
  ASSERT_TRUE(registered);
  hta::win32::OwnedWindow window(CreateWindowExA(0, className.c_str(), "own", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                                 100, nullptr, nullptr, wc.hInstance, nullptr));
  ASSERT_TRUE(window);

  ActivationCounter::count = 0;
  hta::win32::Win32SingleInstance instance("Local\\" + Unique("HtaLauncherTests.Own"), className);
  instance.ActivateOtherCopy();
  EXPECT_EQ(ActivationCounter::count, 0) << "a copy still starting has a window of the class too";
  window.reset();
}

// The program's main window answers the request by coming out of the tray.
class NoEvents final : public hta::MainWindowEvents {
 public:
  void cmdLogin_Click() override {}
  void cmdExit_Click() override {}
  void chkRun_Click() override {}
  void smnuApp_Click(int) override {}
  void smnuShowPopups_Click() override {}
  void smnuExit_Click() override {}
  void Timer1_Timer() override {}
  void TrayNotification(unsigned) override {}
  void Form_Unload() override {}
};

TEST(SingleInstancePortTest, TheMainWindowComesOutOfTheTrayWhenAsked) {
  NoEvents events;
  hta::win32::MainWindow window(GetModuleHandleA(nullptr));
  ASSERT_TRUE(window.Create(events));
  window.Show(SW_SHOWNORMAL);
  window.ShrinkToTray();
  ASSERT_FALSE(IsWindowVisible(window.Handle()));

  const UINT request = RegisterWindowMessageA(hta::win32::Win32SingleInstance::kActivateMessage);
  EXPECT_EQ(SendMessageA(window.Handle(), request, 0, 0), 1);
  EXPECT_TRUE(IsWindowVisible(window.Handle()));
  EXPECT_FALSE(IsIconic(window.Handle()));

  window.Close();
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

}  // namespace
