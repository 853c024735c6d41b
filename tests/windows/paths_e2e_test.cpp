// The real HtaLauncher.exe where its folders are not plain: a user profile
// named in Latin, Cyrillic and Chinese letters, which the ANSI code page
// (1252 here) cannot spell, a temporary folder of 200 characters, and a
// temporary folder on a disk of 192 KiB. Seen from outside: the files in its
// folders, what the fake ".hta" opener was started with, the registry, the
// back office's record and the launcher's log. A file another program holds
// is shown over the real file port (ini_file_test.cpp) and over the fakes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "backoffice_client.h"
#include "launcher_driver.h"
#include "real_launcher_fixture.h"
#include "win32/main_window.h"
#include "win32/resource_ids.h"
#include "win32/wide_text.h"
#include "win32/win32_headers.h"

namespace {

using hta::win32::Utf8FromWide;
using hta::win32::WideFromUtf8;
using hta::wintest::LoggedRequest;
using hta::wintest::ReadFileBytes;
using hta::wintest::WaitUntil;
using hta::wintest::WriteFileBytes;

using hta::wintest::kStartTimeoutMs;
using hta::wintest::kStepTimeoutMs;

using Registry = hta::wintest::FirstRunRegistry;

// The letters of the profile: Latin-1 (which code page 1252 has), Cyrillic
// and Chinese (which it has not).
constexpr const char* kScriptsFolder = "Zoë Дмитрий 张伟";
constexpr const char* kEnvironmentKey = "Environment";

// The value of this process's environment variable `name`, as UTF-8; empty when unset.
std::string ProcessVariable(const wchar_t* name) {
  wchar_t value[32768] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return length > 0 && length < 32768 ? Utf8FromWide(std::wstring_view(value, length)) : std::string();
}

bool MakeFolder(const std::string& path) {
  return CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) != FALSE ||
         GetLastError() == ERROR_ALREADY_EXISTS;
}

// TEMP and TMP of the user (HKCU\Environment, where new processes take them
// from) and of this test process name a folder in other scripts, for as long
// as the object lives; afterwards both are as they were (Wine's own values
// are REG_EXPAND_SZ, which SavedRegistryValue keeps).
class ScriptedTemp {
 public:
  ScriptedTemp() : oldTemp_(ProcessVariable(L"TEMP")), oldTmp_(ProcessVariable(L"TMP")) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    folder_ = Utf8FromWide(std::wstring_view(temp, length <= MAX_PATH ? length : 0)) + kScriptsFolder;
    ready_ = MakeFolder(folder_) && hta::wintest::SetRegistryWideString(kEnvironmentKey, "TEMP", folder_) &&
             hta::wintest::SetRegistryWideString(kEnvironmentKey, "TMP", folder_) &&
             SetEnvironmentVariableW(L"TEMP", WideFromUtf8(folder_).c_str()) &&
             SetEnvironmentVariableW(L"TMP", WideFromUtf8(folder_).c_str());
  }
  ~ScriptedTemp() {
    SetEnvironmentVariableW(L"TEMP", WideFromUtf8(oldTemp_).c_str());
    SetEnvironmentVariableW(L"TMP", WideFromUtf8(oldTmp_).c_str());
    hta::wintest::RemoveFolderTree(folder_ + "\\");
  }
  ScriptedTemp(const ScriptedTemp&) = delete;
  ScriptedTemp& operator=(const ScriptedTemp&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Folder() const { return folder_; }

 private:
  hta::wintest::SavedRegistryValue savedTemp_{kEnvironmentKey, "TEMP"};
  hta::wintest::SavedRegistryValue savedTmp_{kEnvironmentKey, "TMP"};
  std::string oldTemp_;
  std::string oldTmp_;
  std::string folder_;
  bool ready_ = false;
};

// A launcher whose folders all lie in the user's temporary folder, named in
// other scripts: ScriptedTemp is made before RealLauncherTest, so the
// driver's program folder, TEMP and LOCALAPPDATA (the log) lie in it.
class ProfileScriptsTest : private ScriptedTemp, public hta::wintest::RealLauncherTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ScriptedTemp::Ready()) << "cannot name the temporary folder " << Folder();
    RealLauncherTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) {
      return;
    }
    ASSERT_EQ(driver_.ExePath().rfind(Folder(), 0), 0u) << driver_.ExePath();
    ASSERT_TRUE(association_.Ready()) << association_.Error();
    record_ = driver_.RecordFakeOpenerRuns();
  }

  std::vector<LoggedRequest> PathsRequests() const { return server_->RequestsWith("/paths/", mark_); }

  hta::wintest::FakeHtaAssociation association_;
};

// The application folder holds what a killed run left: its unfinished
// ".temp" and ".new" files go at start-up, the rest stays. The INI beside
// the program names the back office as the proxy: the bootstrap address
// names a host only the proxy knows. The login's download lands, the main
// application opens, and a tick's sound is read and played and its launch
// opens, each with its path in the folder whose name the ANSI calls cannot
// spell; the log in the same profile says so.
TEST_F(ProfileScriptsTest, AProfileNamedInOtherScriptsWorksAsAnyOther) {
  const std::string app = driver_.AppFolder();
  ASSERT_TRUE(MakeFolder(app));
  for (const char* name : {"stale.hta.temp", "stale.hta.new", "actions.xml.TEMP", "kept.txt"}) {
    ASSERT_TRUE(WriteFileBytes(app + name, "left by a killed run"));
  }
  ASSERT_TRUE(WriteFileBytes(driver_.IniPath(), "[proxy]\r\nProxyServer=127.0.0.1\r\nProxyPort=" +
                                                    std::to_string(server_->Port()) + "\r\n"));
  Start({"--bootstrap", "http://backoffice.invalid/paths/profile/exebootstrap.php"});
  ASSERT_TRUE(driver_.WaitForTray(kStartTimeoutMs)) << "requests:" << Describe(PathsRequests());
  ExpectOpened(1, app + "orders.hta", "profile");
  EXPECT_EQ(ReadFileBytes(app + "orders.hta"),
            "<html><head><title>Orders</title></head><body>Orders</body></html>\r\n");
  int throughTheProxy = 0;
  for (const LoggedRequest& request : PathsRequests()) {
    throughTheProxy += request.Header("Host") == "backoffice.invalid" ? 1 : 0;
  }
  EXPECT_GE(throughTheProxy, 1) << "the bootstrap went through the INI's proxy" << Describe(PathsRequests());

  HWND main = driver_.WaitForMainWindow(kStepTimeoutMs);
  ASSERT_TRUE(PostMessageA(main, WM_TIMER, hta::win32::MainWindow::kTimer1Id, 0));
  ExpectOpened(2, app + "report.hta", "profile");
  EXPECT_TRUE(WaitUntil([&] { return CountLines(Log(), "INFO  Sound: chime.wav") == 1; }, kStepTimeoutMs))
      << Log();
  EXPECT_EQ(driver_.AppFolderFiles(),
            (std::vector<std::string>{"actions.xml", "chime.wav", "kept.txt", "orders.hta", "report.hta"}));

  const std::string log = Log();
  const std::string exe = driver_.ExePath();
  EXPECT_EQ(CountLines(log, ", " + exe + ", endpoints from command line"), 1) << log;
  EXPECT_EQ(CountLines(log, "Proxy: 127.0.0.1:" + std::to_string(server_->Port()) + ", user , from INI"), 1)
      << log;
  for (const char* name : {"stale.hta.temp", "stale.hta.new", "actions.xml.TEMP"}) {
    EXPECT_EQ(CountLines(log, std::string("Unfinished file removed: ") + name), 1) << name << "\n" << log;
  }
  EXPECT_EQ(CountLines(log, "Launch: orders.hta"), 1) << log;
  EXPECT_EQ(CountLines(log, "Launch: report.hta"), 1) << log;

  // A sound played holds neither the next one nor the end.
  ASSERT_TRUE(PostMessageA(main, WM_TIMER, hta::win32::MainWindow::kTimer1Id, 0));
  ExpectOpened(3, app + "report.hta", "profile");
  EXPECT_TRUE(WaitUntil([&] { return CountLines(Log(), "INFO  Sound: chime.wav") == 2; }, kStepTimeoutMs))
      << Log();
  ASSERT_TRUE(PostMessageA(main, WM_CLOSE, 0, 0));
  EXPECT_EQ(driver_.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0));
}

// "Run at Startup" writes the program's path, in its folder of other
// scripts, as the Run value; started from that value as Windows starts it
// at log-on, the program runs from there.
TEST_F(ProfileScriptsTest, TheRunValueOfAProgramFolderInOtherScriptsStartsIt) {
  Start({"--bootstrap", server_->Url("/launcher/stay/exebootstrap.php")});
  HWND window = driver_.WaitForMainWindow(kStartTimeoutMs, true);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(PostMessageA(GetDlgItem(window, IDC_RUN_AT_STARTUP), BM_CLICK, 0, 0));
  const std::string expected = "\"" + driver_.ExePath() + "\"";
  std::optional<std::string> run;
  EXPECT_TRUE(WaitUntil(
      [&] {
        return (run = hta::wintest::RegistryWideString(Registry::kRunKey, Registry::kRunValue)) == expected;
      },
      kStepTimeoutMs))
      << run.value_or("<none>") << ", expected " << expected;
  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  ASSERT_EQ(driver_.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0));

  std::string error;
  ASSERT_TRUE(driver_.StartCommandLine(run.value_or(""), error)) << error;
  const std::string started = ", " + driver_.ExePath() + ", endpoints from built-in";
  EXPECT_TRUE(WaitUntil([&] { return CountLines(Log(), started) == 1; }, kStartTimeoutMs)) << Log();
}

using PathsE2eTest = hta::wintest::RealLauncherTest;

// A temporary folder of 200 characters and a file name of 100 from the
// reply: the download lands under its whole name, past MAX_PATH; the shell,
// which takes no such path, is not asked to open it, and the log says why.
TEST_F(PathsE2eTest, ALaunchPathTooLongForTheShellIsRefused) {
  hta::wintest::ScratchFolder scratch("hta-long");
  ASSERT_FALSE(scratch.path().empty());
  ASSERT_LT(scratch.path().size(), 199u);
  const std::string temp = scratch.path() + std::string(199 - scratch.path().size(), 't') + "\\";
  ASSERT_EQ(temp.size(), 200u);
  ASSERT_TRUE(MakeFolder(temp));
  driver_.UseTempFolder(temp);
  const std::string name = std::string(96, 'l') + ".hta";
  Start({"--bootstrap", server_->Url("/paths/long/exebootstrap.php")});
  ASSERT_TRUE(driver_.WaitForTray(kStartTimeoutMs));
  EXPECT_EQ(driver_.AppFolderFiles(), std::vector<std::string>{name});
  EXPECT_EQ(ReadFileBytes(driver_.AppFolder() + name),
            "<html><head><title>Orders</title></head><body>Orders</body></html>\r\n");
  EXPECT_TRUE(
      WaitUntil([&] { return CountLines(Log(), "Launch refused: " + name + ": the path is too long") == 1; },
                kStepTimeoutMs))
      << Log();
  EXPECT_EQ(CountLines(Log(), "Download written: " + name), 1) << Log();
  driver_.Kill();  // before its folder goes
}

// The temporary folder on a disk of 192 KiB: a launched file of 400 000
// bytes cannot be written. The old one stays whole, the part written goes at
// once, and the log says why; so the next poll's list is written, and its
// popup shows, as the first one's did.
TEST_F(PathsE2eTest, AFullDiskFailsADownloadCleanly) {
  const std::string disk = hta::wintest::WindowsPath(
      std::string(std::getenv(hta::wintest::kBackOfficeDirVariable)) + "/small-disk");
  const std::string state = ReadFileBytes(disk + ".state").value_or("no state file");
  if (state.rfind("mounted", 0) != 0) {
    std::printf("%s", state.c_str());
    GTEST_SKIP() << state;
  }
  // Whatever an earlier run left there.
  hta::wintest::RemoveFolderTree(disk + "\\hta\\");
  driver_.UseTempFolder(disk + "\\");
  const std::string app = driver_.AppFolder();
  ASSERT_TRUE(MakeFolder(app));
  ASSERT_TRUE(WriteFileBytes(app + "big.hta", "OLD"));

  Start({"--bootstrap", server_->Url("/paths/small/exebootstrap.php")});
  ASSERT_TRUE(driver_.WaitForTray(kStartTimeoutMs));
  HWND main = driver_.WaitForMainWindow(kStepTimeoutMs);
  const std::string refused = "Download refused: big.hta: could not be written (the disk is full)";
  for (int poll = 1; poll <= 2; ++poll) {
    ASSERT_TRUE(PostMessageA(main, WM_TIMER, hta::win32::MainWindow::kTimer1Id, 0));
    // The list is done with once its poll is logged; a tick before that
    // would be skipped.
    EXPECT_TRUE(WaitUntil([&] { return CountLines(Log(), "Poll: ") == poll; }, kStepTimeoutMs))
        << "poll " << poll << "\n"
        << Log();
    EXPECT_EQ(CountLines(Log(), "Popup shown"), poll) << Log();
    EXPECT_EQ(CountLines(Log(), refused), poll) << Log();
    EXPECT_EQ(driver_.AppFolderFiles(), (std::vector<std::string>{"actions.xml", "big.hta"}));
    EXPECT_EQ(ReadFileBytes(app + "big.hta"), "OLD");
  }
  driver_.Kill();
  hta::wintest::RemoveFolderTree(disk + "\\hta\\");
}

}  // namespace
