// The real HtaLauncher.exe against the loopback back office, seen from
// outside as a user sees it: the requests the server received and their
// order, the files in the application folder, the message boxes (read and
// dismissed through their windows), the window going to the tray, the
// registry values it leaves, a second copy, "&Run at Startup", a proxy, and
// the end of the program when no back office answers.
//
// Every launcher runs from a copy of the program in a folder of its own, with
// a TEMP of its own (see launcher_driver.h). The registry values the program
// reads and writes are saved before each test and put back after it. Tests
// that start the program hold RealLauncherLock: the program allows one copy
// per session, and CTest runs the tests side by side.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backoffice_client.h"
#include "launcher_driver.h"
#include "real_launcher_fixture.h"
#include "win32/resource_ids.h"
#include "win32/win32_headers.h"
#include "win32/win32_registry.h"

namespace {

using hta::wintest::BackOffice;
using hta::wintest::LauncherDriver;
using hta::wintest::LoggedRequest;
using hta::wintest::MessageBoxSeen;

using hta::wintest::kStartTimeoutMs;
using hta::wintest::kStepTimeoutMs;

using Registry = hta::wintest::FirstRunRegistry;
constexpr const char* kSettingsUserKey = Registry::kUserKey;
constexpr const char* kSettingsKey = Registry::kSettingsKey;
constexpr const char* kBootParamsKey = Registry::kBootParamsKey;
constexpr const char* kRunKey = Registry::kRunKey;
constexpr const char* kRunValue = Registry::kRunValue;  // the executable's name without ".exe"

constexpr const char* kCaption = "App Launcher";
constexpr const char* kNoServerText = "Unable to connect to any of VANO servers. Please try again later.";
constexpr const char* kLoginFailedText =
    "Failed to connect to the server. Please check your internet connection and retry";

// A request target without scheme and host (a proxy gets the absolute
// address) and without its query (it holds a time stamp).
std::string PathOf(std::string target) {
  if (target.rfind("http://", 0) == 0) {
    const std::size_t slash = target.find('/', 7);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  return target.substr(0, target.find('?'));
}

// "METHOD path" of each request.
std::vector<std::string> Paths(const std::vector<LoggedRequest>& requests) {
  std::vector<std::string> lines;
  for (const LoggedRequest& request : requests) {
    lines.push_back(request.method + " " + PathOf(request.target));
  }
  return lines;
}

// The value of query parameter `name` in a request target.
std::string QueryValue(const std::string& target, const std::string& name) {
  const std::size_t query = target.find('?');
  if (query == std::string::npos) {
    return "<no query>";
  }
  std::string rest = "&" + target.substr(query + 1);
  const std::size_t at = rest.find("&" + name + "=");
  if (at == std::string::npos) {
    return "<missing>";
  }
  const std::size_t start = at + name.size() + 2;
  return rest.substr(start, rest.find('&', start) - start);
}

class LauncherE2eTest : public hta::wintest::RealLauncherTest {
 protected:
  // The launcher's requests to `server` after `since` (the transfer tests'
  // requests never go to /launcher/).
  static std::vector<LoggedRequest> LauncherRequests(const BackOffice& server, int since) {
    return RequestsUnder(server, "/launcher/", since);
  }
  std::vector<LoggedRequest> LauncherRequests() const { return LauncherRequests(*server_, mark_); }

  std::string Bootstrap(const std::string& route) const { return server_->Url("/launcher/" + route); }

  void Start(const std::vector<std::string>& arguments) {
    std::string error;
    ASSERT_TRUE(driver_.Start(arguments, error)) << error;
  }

  // The next message box: its caption and text checked, then dismissed.
  void ExpectMessageBox(const std::string& text) {
    const std::optional<MessageBoxSeen> box = driver_.WaitForMessageBox(kStepTimeoutMs);
    ASSERT_TRUE(box) << "no message box \"" << text << "\" appeared";
    EXPECT_EQ(box->caption, kCaption);
    EXPECT_EQ(box->text, text);
    EXPECT_TRUE(hta::wintest::DismissMessageBox(box->window, kStepTimeoutMs));
  }

  // Closes the window as a user would (the system menu's Close) and expects
  // the program to end with exit code 0.
  void CloseAndExpectExit(HWND window) {
    ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
    const std::optional<DWORD> code = driver_.WaitForExit(kStepTimeoutMs);
    ASSERT_TRUE(code) << "the launcher did not end";
    EXPECT_EQ(*code, 0u);
  }

  HWND Control(HWND window, int id) const { return GetDlgItem(window, id); }
};

TEST_F(LauncherE2eTest, LogsInDownloadsShowsTheMessageAndGoesToTheTray) {
  ASSERT_TRUE(hta::wintest::SetRegistryString(kSettingsUserKey, "user", "e2e-user"));
  ASSERT_TRUE(hta::wintest::SetRegistryString(kBootParamsKey, "BootParams", "e2e-boot"));
  // An application folder that exists already is used as it is.
  ASSERT_TRUE(CreateDirectoryA(driver_.AppFolder().c_str(), nullptr));
  ASSERT_TRUE(hta::wintest::WriteFileBytes(driver_.AppFolder() + "kept.txt", "kept"));

  Start({"--bootstrap", Bootstrap("tray/exebootstrap.php")});
  // The reply's message comes after its downloads, while the start-up still
  // runs with the window hidden.
  const std::optional<MessageBoxSeen> welcome = driver_.WaitForMessageBox(kStartTimeoutMs);
  ASSERT_TRUE(welcome) << "no welcome message appeared";
  EXPECT_EQ(welcome->caption, kCaption);
  EXPECT_EQ(welcome->text, "Welcome to the loopback back office");
  EXPECT_EQ(driver_.AppFolderFiles(), (std::vector<std::string>{"kept.txt", "orders.hta", "stock.hta"}));
  HWND hidden = hta::wintest::MainWindowOf(driver_.ProcessId());
  ASSERT_NE(hidden, nullptr);
  EXPECT_FALSE(IsWindowVisible(hidden)) << "no window while the start-up runs";
  ASSERT_TRUE(hta::wintest::DismissMessageBox(welcome->window, kStepTimeoutMs));

  ASSERT_TRUE(driver_.WaitForTray(kStepTimeoutMs)) << "the window did not go to the tray";
  HWND window = driver_.WaitForMainWindow(kStepTimeoutMs);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_TRUE(IsIconic(window));
  EXPECT_FALSE(IsWindowEnabled(Control(window, IDC_CMDLOGIN))) << "the buttons stay disabled in the tray";
  EXPECT_FALSE(IsWindowEnabled(Control(window, IDC_CMDEXIT)));
  EXPECT_EQ(hta::wintest::WindowText(Control(window, IDC_TXTNAME)), "e2e-user");
  EXPECT_EQ(hta::wintest::WindowText(Control(window, IDC_LBLSTATUS)), "");
  EXPECT_EQ(hta::wintest::WindowText(Control(window, IDC_LBLVERSION)), "version 3.0.4");

  const std::vector<LoggedRequest> requests = LauncherRequests();
  // No HEAD request reaches the server: the transfer control asks for the
  // headers of "127.0.0.1:PORT" on the HTTP port, with the URL's port kept
  // in the host name, which names no host (through a proxy it does arrive).
  EXPECT_EQ(Paths(requests), (std::vector<std::string>{
                                 "GET /launcher/tray/exebootstrap.php",
                                 "GET /launcher/tray/login.php",
                                 "GET /launcher/files/orders.hta",
                                 "GET /launcher/files/stock.hta",
                             }))
      << Describe(requests);
  if (requests.size() == 4) {
    EXPECT_EQ(QueryValue(requests[0].target, "bootparams"), "e2e-boot");
    EXPECT_NE(QueryValue(requests[0].target, "ts"), "<missing>");
    EXPECT_EQ(QueryValue(requests[1].target, "user"), "e2e-user");
    EXPECT_NE(QueryValue(requests[1].target, "ts"), "<missing>");
  }

  EXPECT_EQ(driver_.AppFolderFiles(), (std::vector<std::string>{"kept.txt", "orders.hta", "stock.hta"}));
  EXPECT_EQ(hta::wintest::ReadFileBytes(driver_.AppFolder() + "orders.hta"),
            "<html><head><title>Orders</title></head><body>Orders</body></html>\r\n")
      << "the body as sent, and CR LF";
  EXPECT_EQ(hta::wintest::ReadFileBytes(driver_.AppFolder() + "kept.txt"), "kept");

  // Nothing is stored before the end...
  EXPECT_EQ(hta::wintest::RegistryString(kSettingsKey, "showPopups"), std::nullopt);
  CloseAndExpectExit(window);
  // ...and at the end, the user string of the login and the popup choice.
  EXPECT_EQ(hta::wintest::RegistryString(kSettingsUserKey, "user"), "e2e-user");
  EXPECT_EQ(hta::wintest::RegistryString(kSettingsKey, "showPopups"), "True");
}

TEST_F(LauncherE2eTest, OpensTheMainApplicationThroughTheShell) {
  // As the reply stores them: up to the attribute's closing quote.
  const std::string parameters = "--from e2e  'two words' C:\\dir\\";
  {
    hta::wintest::FakeHtaAssociation association;
    ASSERT_TRUE(association.Ready()) << association.Error();
    const std::string record = driver_.RecordFakeOpenerRuns();

    Start({"--bootstrap", Bootstrap("open/exebootstrap.php")});
    ASSERT_TRUE(driver_.WaitForTray(kStartTimeoutMs)) << "the window did not go to the tray";
    // ShellExecuteA has returned before the window goes to the tray; the
    // opener may still be on its way to its record.
    ASSERT_TRUE(hta::wintest::WaitUntil([&] { return !hta::wintest::FakeOpenerRuns(record).empty(); },
                                        kStepTimeoutMs))
        << "the opener was not started; requests:" << Describe(LauncherRequests());
    Sleep(500);  // time for a second start to show, if there were one
    const std::vector<hta::wintest::FakeOpenerRun> runs = hta::wintest::FakeOpenerRuns(record);
    ASSERT_EQ(runs.size(), 1u) << "started once, for the main application only";

    // Wine builds the opener's command line from the registered command,
    // %1 replaced by the file exactly as ShellExecuteA got it and %* by the
    // parameters string exactly as given (nothing quoted, split or trimmed;
    // see FakeHtaAssociation). So the line shows, byte for byte, what the
    // launcher handed to ShellExecuteA: the full path of the downloaded main
    // application in the test's own TEMP\hta\, and the parameters as the
    // reply stored them.
    const std::string file = driver_.AppFolder() + "orders.hta";
    EXPECT_EQ(runs[0].commandLine,
              "\"" + hta::wintest::FakeOpenerExePath() + "\" \"" + file + "\" " + parameters)
        << "registered: " << association.Command();
    EXPECT_EQ(runs[0].currentFolder, "C:\\") << "the launch folder given to ShellExecuteA";
    EXPECT_EQ(hta::wintest::ReadFileBytes(file),
              "<html><head><title>Orders</title></head><body>Orders</body></html>\r\n")
        << "downloaded before it was opened";

    HWND window = driver_.WaitForMainWindow(kStepTimeoutMs);
    ASSERT_NE(window, nullptr);
    CloseAndExpectExit(window);
  }
  // The association went with the object.
  for (const char* name :
       {hta::wintest::FakeHtaAssociation::kProgId, hta::wintest::FakeHtaAssociation::kExtensionKey}) {
    hta::win32::UniqueRegKey key;
    EXPECT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_READ, key.receive()), ERROR_SUCCESS) << name;
  }
}

TEST_F(LauncherE2eTest, EmptyLoginReplyKeepsTheWindowAndTheRememberedUser) {
  ASSERT_TRUE(hta::wintest::SetRegistryString(kSettingsUserKey, "user", "remembered"));
  ASSERT_TRUE(hta::wintest::SetRegistryString(kSettingsKey, "showPopups", "False"));
  Start({"--bootstrap", Bootstrap("empty/exebootstrap.php")});
  ExpectMessageBox(kLoginFailedText);

  HWND window = driver_.WaitForVisibleMainWindow(kStepTimeoutMs);
  ASSERT_NE(window, nullptr) << "the window comes up when the login fails";
  EXPECT_EQ(hta::wintest::WindowText(window), "App Launcher");
  EXPECT_TRUE(hta::wintest::WaitUntil([&] { return IsWindowEnabled(Control(window, IDC_CMDEXIT)) != FALSE; },
                                      kStepTimeoutMs));
  EXPECT_TRUE(IsWindowEnabled(Control(window, IDC_CMDLOGIN)));
  EXPECT_EQ(hta::wintest::WindowText(Control(window, IDC_LBLSTATUS)), "");
  EXPECT_EQ(hta::wintest::WindowText(Control(window, IDC_TXTNAME)), "remembered");
  EXPECT_EQ(driver_.AppFolderFiles(), std::vector<std::string>{}) << "the folder is made, and stays empty";
  EXPECT_NE(GetFileAttributesA(driver_.AppFolder().c_str()), INVALID_FILE_ATTRIBUTES);

  const std::vector<LoggedRequest> requests = LauncherRequests();
  EXPECT_EQ(Paths(requests), (std::vector<std::string>{"GET /launcher/empty/exebootstrap.php",
                                                       "GET /launcher/empty/login.php"}))
      << Describe(requests);

  // Typed after the failed login, never used for one: not stored.
  ASSERT_TRUE(SendMessageTimeoutA(Control(window, IDC_TXTNAME), WM_SETTEXT, 0,
                                  reinterpret_cast<LPARAM>("typed but not used"), SMTO_ABORTIFHUNG,
                                  kStepTimeoutMs, nullptr));
  ASSERT_TRUE(PostMessageA(Control(window, IDC_CMDEXIT), BM_CLICK, 0, 0));
  const std::optional<DWORD> code = driver_.WaitForExit(kStepTimeoutMs);
  ASSERT_TRUE(code) << "E&xit did not end the program";
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(hta::wintest::RegistryString(kSettingsUserKey, "user"), "remembered");
  EXPECT_EQ(hta::wintest::RegistryString(kSettingsKey, "showPopups"), "False");
}

TEST_F(LauncherE2eTest, UnreachableBackOfficeShowsTheMessageAndEndsTheProgram) {
  ASSERT_TRUE(hta::wintest::SetRegistryString(kSettingsUserKey, "user", "before"));
  // Nothing listens on port 1; the others answer with no address.
  Start({"--bootstrap", "http://127.0.0.1:1/launcher/closed.php", "--bootstrap", Bootstrap("no/capitals.php"),
         "--bootstrap", Bootstrap("no/text.php"), "--bootstrap", Bootstrap("no/missing.php")});
  const std::optional<MessageBoxSeen> box = driver_.WaitForMessageBox(kStartTimeoutMs);
  ASSERT_TRUE(box) << "no message box appeared";
  EXPECT_EQ(box->caption, kCaption);
  EXPECT_EQ(box->text, kNoServerText);
  HWND window = hta::wintest::MainWindowOf(driver_.ProcessId());
  EXPECT_TRUE(window == nullptr || !IsWindowVisible(window)) << "the start-up shows no window";
  ASSERT_TRUE(hta::wintest::DismissMessageBox(box->window, kStepTimeoutMs));

  const std::optional<DWORD> code = driver_.WaitForExit(kStepTimeoutMs);
  ASSERT_TRUE(code) << "the program did not end after the message";
  EXPECT_EQ(*code, 0u);

  // Every endpoint was tried, in order, and nothing else was asked.
  const std::vector<LoggedRequest> requests = LauncherRequests();
  std::vector<std::string> gets;
  for (const std::string& line : Paths(requests)) {
    if (line.rfind("GET ", 0) == 0) {
      gets.push_back(line);
    }
  }
  EXPECT_EQ(gets, (std::vector<std::string>{"GET /launcher/no/capitals.php", "GET /launcher/no/text.php",
                                            "GET /launcher/no/missing.php"}))
      << Describe(requests);
  // Nothing saved.
  EXPECT_EQ(hta::wintest::RegistryString(kSettingsUserKey, "user"), "before");
  EXPECT_FALSE(hta::wintest::RegistryValueExists(kSettingsKey, "showPopups"));
}

TEST_F(LauncherE2eTest, TheFirstEndpointThatAnswersIsTheOnlyOneUsed) {
  ASSERT_TRUE(hta::wintest::SetRegistryDword(kBootParamsKey, "BootParams", 42));
  Start({"--bootstrap", Bootstrap("no/missing.php"), "--bootstrap", Bootstrap("stay/exebootstrap.php"),
         "--bootstrap", Bootstrap("tray/exebootstrap.php")});
  HWND window = driver_.WaitForVisibleMainWindow(kStartTimeoutMs);
  ASSERT_NE(window, nullptr) << "a reply without a main application leaves the window up";
  EXPECT_TRUE(IsWindowEnabled(Control(window, IDC_CMDLOGIN)));
  EXPECT_TRUE(driver_.MessageBoxes().empty());

  const std::vector<LoggedRequest> requests = LauncherRequests();
  std::vector<std::string> gets;
  for (const std::string& line : Paths(requests)) {
    if (line.rfind("GET ", 0) == 0) {
      gets.push_back(line);
    }
  }
  EXPECT_EQ(gets,
            (std::vector<std::string>{"GET /launcher/no/missing.php", "GET /launcher/stay/exebootstrap.php",
                                      "GET /launcher/stay/login.php"}))
      << Describe(requests);
  for (const LoggedRequest& request : requests) {
    if (request.target.find("exebootstrap.php") != std::string::npos ||
        request.target.find("missing.php") != std::string::npos) {
      EXPECT_EQ(QueryValue(request.target, "bootparams"), "42")
          << "a stored number is sent as its decimal text";
    }
  }
  EXPECT_EQ(hta::wintest::WindowText(Control(window, IDC_TXTNAME)), "") << "first run: no user";
  CloseAndExpectExit(window);
  EXPECT_EQ(hta::wintest::RegistryString(kSettingsUserKey, "user"), "") << "the empty user of the login";
}

TEST_F(LauncherE2eTest, ASecondCopyBringsTheFirstForwardAndEnds) {
  Start({"--bootstrap", Bootstrap("quiet/exebootstrap.php")});
  ASSERT_TRUE(driver_.WaitForTray(kStartTimeoutMs));
  HWND first = driver_.WaitForMainWindow(kStepTimeoutMs);
  ASSERT_NE(first, nullptr);
  const int before = LastSequence(*server_);

  // The same program, started again (from a folder of its own, with a TEMP
  // of its own), while the first sits in the tray.
  LauncherDriver second;
  ASSERT_TRUE(second.Ready()) << second.Error();
  std::string error;
  ASSERT_TRUE(second.Start({"--bootstrap", Bootstrap("tray/exebootstrap.php")}, error)) << error;
  const std::optional<DWORD> code = second.WaitForExit(kStartTimeoutMs);
  ASSERT_TRUE(code) << "the second copy did not end";
  EXPECT_EQ(*code, 0u);

  EXPECT_TRUE(driver_.Running()) << "the first copy runs on";
  EXPECT_TRUE(
      hta::wintest::WaitUntil([&] { return IsWindowVisible(first) && !IsIconic(first); }, kStepTimeoutMs))
      << "the first copy came out of the tray, restored";
  // Without side effects: no request, no application folder, nothing stored.
  EXPECT_TRUE(LauncherRequests(*server_, before).empty()) << Describe(LauncherRequests(*server_, before));
  EXPECT_EQ(GetFileAttributesA(second.AppFolder().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(hta::wintest::RegistryValueExists(kSettingsUserKey, "user"));

  CloseAndExpectExit(first);
}

TEST_F(LauncherE2eTest, RunAtStartupWritesAndRemovesTheRunValue) {
  Start({"--bootstrap", Bootstrap("stay/exebootstrap.php")});
  HWND window = driver_.WaitForVisibleMainWindow(kStartTimeoutMs);
  ASSERT_NE(window, nullptr);
  HWND box = Control(window, IDC_CHKRUN);
  EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_FALSE(hta::wintest::RegistryValueExists(kRunKey, kRunValue));

  // Ticked: the quoted full path of the program, under its name.
  ASSERT_TRUE(PostMessageA(box, BM_CLICK, 0, 0));
  const std::string expected = "\"" + driver_.ExePath() + "\"";
  EXPECT_TRUE(hta::wintest::WaitUntil(
      [&] { return hta::wintest::RegistryString(kRunKey, kRunValue) == expected; }, kStepTimeoutMs))
      << "Run value: " << hta::wintest::RegistryString(kRunKey, kRunValue).value_or("<none>") << ", expected "
      << expected;
  EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_CHECKED);

  // Cleared: the value is gone.
  ASSERT_TRUE(PostMessageA(box, BM_CLICK, 0, 0));
  EXPECT_TRUE(hta::wintest::WaitUntil([&] { return !hta::wintest::RegistryValueExists(kRunKey, kRunValue); },
                                      kStepTimeoutMs));
  EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_TRUE(driver_.MessageBoxes().empty());
  CloseAndExpectExit(window);
}

TEST_F(LauncherE2eTest, AnExistingRegistrationTicksTheBoxAndIsNotRewritten) {
  const std::string elsewhere = "\"C:\\Elsewhere\\HtaLauncher.exe\" --from-another-install";
  ASSERT_TRUE(hta::wintest::SetRegistryString(kRunKey, kRunValue, elsewhere));
  Start({"--bootstrap", Bootstrap("stay/exebootstrap.php")});
  HWND window = driver_.WaitForVisibleMainWindow(kStartTimeoutMs);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(SendMessageA(Control(window, IDC_CHKRUN), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(hta::wintest::RegistryString(kRunKey, kRunValue), elsewhere) << "setting the box wrote nothing";
  CloseAndExpectExit(window);
  EXPECT_EQ(hta::wintest::RegistryString(kRunKey, kRunValue), elsewhere);
}

TEST_F(LauncherE2eTest, ProgramAtADrivesRootRegistersWithoutADoubledBackslash) {
  // A copy of its own name at the root of drive C: (in Wine's prefix, the
  // test's own; on Windows only where the user may write there). Its Run
  // value is named after the copy.
  const std::string name = "HtaLauncherE2e" + std::to_string(GetCurrentProcessId());
  hta::wintest::SavedRegistryValue savedRun(kRunKey, name);
  hta::wintest::DeleteRegistryValue(kRunKey, name);
  LauncherDriver atRoot("C:\\" + name + ".exe");
  if (!atRoot.Ready()) {
    GTEST_SKIP() << "no program at the root of C: here: " << atRoot.Error();
  }
  EXPECT_EQ(atRoot.ExeFolder(), "C:\\");
  std::string error;
  ASSERT_TRUE(atRoot.Start({"--bootstrap", Bootstrap("stay/exebootstrap.php")}, error)) << error;
  HWND window = atRoot.WaitForVisibleMainWindow(kStartTimeoutMs);
  ASSERT_NE(window, nullptr);

  ASSERT_TRUE(PostMessageA(GetDlgItem(window, IDC_CHKRUN), BM_CLICK, 0, 0));
  const std::string expected = "\"C:\\" + name + ".exe\"";
  EXPECT_TRUE(hta::wintest::WaitUntil([&] { return hta::wintest::RegistryString(kRunKey, name) == expected; },
                                      kStepTimeoutMs))
      << "Run value: " << hta::wintest::RegistryString(kRunKey, name).value_or("<none>") << ", expected "
      << expected;
  EXPECT_FALSE(hta::wintest::RegistryValueExists(kRunKey, kRunValue)) << "named after the running copy";

  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  EXPECT_TRUE(atRoot.WaitForExit(kStepTimeoutMs));
}

// The stored form of `password` for `user`, made by the administrators' tool.
std::string ProxyPass(const std::string& user, const std::string& password) {
  const std::string tool = hta::wintest::ProxyPassExePath();
  EXPECT_FALSE(tool.empty());
  DWORD exitCode = 99;
  const std::optional<std::string> output =
      hta::wintest::RunForOutput("\"" + tool + "\" \"" + user + "\"", password + "\r\n", exitCode);
  EXPECT_TRUE(output) << "proxypass.exe did not run";
  EXPECT_EQ(exitCode, 0u);
  std::string text = output.value_or("");
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

TEST_F(LauncherE2eTest, LogsInThroughTheServerActingAsProxy) {
  // The stored password of the INI file, as the administrators' tool writes it.
  const std::string stored = ProxyPass("e2e-proxy-user", "e2e proxy password");
  ASSERT_EQ(stored.size(), 2 * std::string("e2e proxy password").size()) << stored;
  const std::string port = std::to_string(server_->Port());
  ASSERT_TRUE(hta::wintest::WriteFileBytes(
      driver_.IniPath(), "[proxy]\r\nProxyServer=127.0.0.1\r\nProxyPort=" + port +
                             "\r\nProxyUser=e2e-proxy-user\r\nProxyPass=" + stored + "\r\n"));
  // A host that does not exist: only the proxy can answer for it.
  Start({"--bootstrap", "http://backoffice.invalid/launcher/quiet/exebootstrap.php"});
  ASSERT_TRUE(driver_.WaitForTray(kStartTimeoutMs)) << Describe(LauncherRequests());

  const std::vector<LoggedRequest> requests = LauncherRequests();
  EXPECT_EQ(Paths(requests), (std::vector<std::string>{"HEAD /launcher/quiet/exebootstrap.php",
                                                       "GET /launcher/quiet/exebootstrap.php",
                                                       "GET /launcher/quiet/login.php"}))
      << Describe(requests);
  for (const LoggedRequest& request : requests) {
    EXPECT_EQ(request.target.rfind("http://", 0), 0u)
        << "proxy form, the absolute address: " << request.target;
  }
  if (!requests.empty()) {
    EXPECT_EQ(requests.front().target.rfind("http://backoffice.invalid", 0), 0u) << requests.front().target;
  }
  HWND window = driver_.WaitForMainWindow(kStepTimeoutMs);
  ASSERT_NE(window, nullptr);
  CloseAndExpectExit(window);
}

TEST_F(LauncherE2eTest, TheStoredProxyPasswordReachesTheAuthenticatingProxy) {
  std::string why;
  const std::optional<BackOffice> proxy = BackOffice::Find("backoffice_proxy_auth", why);
  ASSERT_TRUE(proxy) << why;
  const int since = LastSequence(*proxy);
  const std::string stored = ProxyPass("hta-proxy", "pr0xy-secret");
  ASSERT_TRUE(hta::wintest::WriteFileBytes(
      driver_.IniPath(), "[proxy]\r\nProxyServer=127.0.0.1\r\nProxyPort=" + std::to_string(proxy->Port()) +
                             "\r\nProxyUser=hta-proxy\r\nProxyPass=" + stored + "\r\n"));
  Start({"--bootstrap", "http://backoffice.invalid/launcher/proxy/exebootstrap.php"});

  // Whatever the login's outcome, the bootstrap request gets through with
  // the decrypted password: hta-proxy:pr0xy-secret.
  const std::string credentials = "Basic aHRhLXByb3h5OnByMHh5LXNlY3JldA==";
  EXPECT_TRUE(hta::wintest::WaitUntil(
      [&] {
        for (const LoggedRequest& request : LauncherRequests(*proxy, since)) {
          if (request.method == "GET" && request.target.find("exebootstrap.php") != std::string::npos &&
              request.Header("Proxy-Authorization") == credentials) {
            return true;
          }
        }
        return false;
      },
      kStartTimeoutMs))
      << Describe(LauncherRequests(*proxy, since));

  // Report what followed, for the record, and end.
  hta::wintest::WaitUntil(
      [&] {
        HWND window = hta::wintest::MainWindowOf(driver_.ProcessId());
        return !driver_.MessageBoxes().empty() ||
               (window != nullptr && (IsWindowVisible(window) || IsIconic(window)));
      },
      kStepTimeoutMs);
  for (const MessageBoxSeen& box : driver_.MessageBoxes()) {
    std::printf("[ OBSERVED ] behind the authenticating proxy: box \"%s\"\n", box.text.c_str());
    hta::wintest::DismissMessageBox(box.window, kStepTimeoutMs);
  }
  std::printf("[ OBSERVED ] requests the proxy saw:%s\n", Describe(LauncherRequests(*proxy, since)).c_str());
  std::fflush(stdout);
}

}  // namespace
