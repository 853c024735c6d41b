// The registry, user-settings, shell and single-copy ports against the real
// Win32 calls. Every test works under a key or a name of its own that
// carries the process id, so suites running side by side never meet, and the
// keys are deleted again whatever the outcome.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ports/registry.h"
#include "win32/handles.h"
#include "win32/unique_handle.h"
#include "win32/win32_headers.h"
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

// The bytes of `text` with its terminating NUL.
std::vector<std::uint8_t> Bytes(const std::string& text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

// What a query read: its result, the value's type, the size the call
// reported and the bytes that size covers (none when the query failed).
struct Read {
  std::int32_t result;
  std::uint32_t type;
  std::uint32_t size;
  std::vector<std::uint8_t> data;
  bool operator==(const Read&) const = default;
};
void PrintTo(const Read& read, std::ostream* out) {
  *out << "result " << read.result << ", type " << read.type << ", size " << read.size << ", "
       << ::testing::PrintToString(read.data);
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

  // Queries `name` into a buffer of `room` bytes (none: type and size only).
  Read Query(RegistryKey from, const char* name, std::size_t room = 255) {
    Read read{0, 0, static_cast<std::uint32_t>(room), std::vector<std::uint8_t>(room, 0xAA)};
    read.result = registry.QueryValue(from, name, read.type, read.data, read.size);
    read.data.resize(read.result == hta::kRegistrySuccess ? std::min<std::size_t>(room, read.size) : 0);
    return read;
  }

  hta::win32::Win32Registry registry;
  ScratchKey scratch{Unique("HtaLauncherTests.Registry")};
  RegistryKey key;
};

TEST_F(RegistryPortTest, StringRoundTripWithSizeQueryFirst) {
  const auto data = Bytes("Z:\\some where\\HtaLauncher.exe");
  const auto size = static_cast<std::uint32_t>(data.size());  // with the terminating NUL
  ASSERT_EQ(registry.SetValue(key, "Path", hta::kRegistryString, data), hta::kRegistrySuccess);
  EXPECT_EQ(Query(key, "Path", 0), (Read{hta::kRegistrySuccess, hta::kRegistryString, size, {}}));
  EXPECT_EQ(Query(key, "Path"), (Read{hta::kRegistrySuccess, hta::kRegistryString, size, data}));
}

// Read into four bytes, or into a 255-byte text buffer, a number reports its
// type and its four bytes.
TEST_F(RegistryPortTest, DwordRoundTrip) {
  const std::vector<std::uint8_t> raw = {42, 0, 0, 0};
  ASSERT_EQ(registry.SetValue(key, "BootParams", hta::kRegistryDword, raw), hta::kRegistrySuccess);
  EXPECT_EQ(Query(key, "BootParams", 4), (Read{hta::kRegistrySuccess, hta::kRegistryDword, 4, raw}));
  EXPECT_EQ(Query(key, "BootParams"), (Read{hta::kRegistrySuccess, hta::kRegistryDword, 4, raw}));
}

TEST_F(RegistryPortTest, A255ByteBufferHolds254CharactersAndNoMore) {
  const auto fits = Bytes(std::string(254, 'x'));  // 255 bytes with its NUL
  ASSERT_EQ(registry.SetValue(key, "Fits", hta::kRegistryString, fits), hta::kRegistrySuccess);
  ASSERT_EQ(registry.SetValue(key, "TooLong", hta::kRegistryString, Bytes(std::string(255, 'y'))),
            hta::kRegistrySuccess);
  EXPECT_EQ(Query(key, "Fits"), (Read{hta::kRegistrySuccess, hta::kRegistryString, 255, fits}));
  EXPECT_EQ(Query(key, "TooLong"), (Read{hta::kRegistryMoreData, hta::kRegistryString, 256, {}}))
      << "a failed query reports the size the value needs";
}

TEST_F(RegistryPortTest, DeleteValueAndMissingValuesAndKeys) {
  ASSERT_EQ(registry.SetValue(key, "Gone", hta::kRegistryString, Bytes("soon")), hta::kRegistrySuccess);
  EXPECT_EQ(registry.DeleteValue(key, "Gone"), hta::kRegistrySuccess);
  EXPECT_EQ(Query(key, "Gone", 0).result, ERROR_FILE_NOT_FOUND);
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
  EXPECT_EQ(Query(reader, "Shared"), (Read{hta::kRegistrySuccess, hta::kRegistryString, 4, Bytes("one")}));
  EXPECT_EQ(registry.CloseKey(reader), hta::kRegistrySuccess);

  RegistryKey again;
  ASSERT_EQ(registry.CreateKey(kCurrentUser, scratch.path().c_str(), hta::kRegistryKeyWrite, again),
            hta::kRegistrySuccess);
  EXPECT_EQ(registry.SetValue(again, "Shared", hta::kRegistryString, Bytes("two")), hta::kRegistrySuccess);
  EXPECT_EQ(registry.CloseKey(again), hta::kRegistrySuccess);
  EXPECT_EQ(Query(key, "Shared").data, Bytes("two"));
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

// A path in the temporary folder.
std::string ScratchFile(const std::string& name) {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof temp, temp);
  return std::string(temp) + name;
}

// A program started with its parameters: LauncherE2eTest.OpensTheMainApplicationThroughTheShell.
TEST(ShellPortTest, ReportsMissingFilesAndMissingAssociations) {
  hta::win32::Win32Shell shell;
  const std::intptr_t missing =
      shell.Execute("open", ScratchFile(Unique("no-such-file") + ".hta"), "", "", SW_SHOWNORMAL);
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
  EXPECT_EQ(noAssociation, SE_ERR_NOASSOC);
}

// The main window coming out of the tray when a second copy asks:
// LauncherE2eTest.ASecondCopyBringsTheFirstForwardAndEnds.
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

}  // namespace
