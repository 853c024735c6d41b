// The real HtaLauncher.exe against the loopback back office, seen from
// outside as a user sees it: the requests the server received and their
// order, the files in the application folder, what it opened through the
// shell, the message boxes (read and dismissed through their windows), the
// window going to the tray, its window and keyboard, the registry values it
// leaves, a second copy, "&Run at Startup", a proxy, and the end of the
// program when no back office answers.
//
// Every launcher runs from a copy of the program in a folder of its own, with
// a TEMP of its own, and the registry of a first run (real_launcher_fixture.h).

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "backoffice_client.h"
#include "launcher_driver.h"
#include "real_launcher_fixture.h"
#include "win32/main_window.h"
#include "win32/resource_ids.h"
#include "win32/win32_headers.h"

namespace {

using hta::wintest::BackOffice;
using hta::wintest::LauncherDriver;
using hta::wintest::LoggedRequest;
using hta::wintest::MessageBoxSeen;
using hta::wintest::RegistryString;
using hta::wintest::SetRegistryString;
using hta::wintest::WindowText;

using hta::wintest::kStartTimeoutMs;
using hta::wintest::kStepTimeoutMs;

using Registry = hta::wintest::FirstRunRegistry;
constexpr const char* kCaption = "App Launcher";
constexpr const char* kOrders = "<html><head><title>Orders</title></head><body>Orders</body></html>\r\n";

// "METHOD path" of each request (the query holds a time stamp).
std::vector<std::string> Paths(const std::vector<LoggedRequest>& requests) {
  std::vector<std::string> lines;
  for (const LoggedRequest& request : requests) {
    lines.push_back(request.method + " " + request.Path());
  }
  return lines;
}

// The value of query parameter `name` in a request target.
std::string QueryValue(const std::string& target, const std::string& name) {
  const std::string rest = "&" + target.substr(target.find('?') + 1);
  const std::size_t at = rest.find("&" + name + "=");
  if (at == std::string::npos) {
    return "<missing>";
  }
  const std::size_t start = at + name.size() + 2;
  return rest.substr(start, rest.find('&', start) - start);
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The control that has the keyboard focus in the launcher's GUI thread.
HWND Focus(HWND main) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) ? info.hwndFocus : nullptr;
}

// The window as a user (or a screen reader) sees it: a fixed-size window,
// every control of the window, visible, and Tab going round them in reading
// order from the user box, which starts with the focus.
void ExpectTheForm(HWND main) {
  EXPECT_EQ(WindowText(main), kCaption);
  const LONG_PTR style = GetWindowLongPtrA(main, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_MAXIMIZEBOX),
            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  const struct {
    int id;
    const char* windowClass;
    const char* text;
  } controls[] = {
      {IDC_USER_CAPTION, "Static", "User:"},
      {IDC_USER_BOX, "Edit", ""},
      {IDC_RECONNECT, "Button", "&Reconnect"},
      {IDC_EXIT, "Button", "E&xit"},
      {IDC_RUN_AT_STARTUP, "Button", "&Run at Startup"},
      {IDC_STATUS_LINE, "Static", ""},
      {IDC_VERSION_LABEL, "Static", "version " HTA_VERSION_TEXT},
      {IDC_TITLE, "Static", "VANO Launcher"},
      {IDC_LOGO, "Static", ""},
  };
  for (const auto& c : controls) {
    HWND control = GetDlgItem(main, c.id);
    ASSERT_NE(control, nullptr) << c.id << " is missing";
    EXPECT_EQ(ClassOf(control), c.windowClass) << c.id;
    EXPECT_EQ(WindowText(control), c.text) << c.id;
    RECT r{};
    GetClientRect(control, &r);
    EXPECT_TRUE(IsWindowVisible(control) && r.right > 0 && r.bottom > 0) << c.id << " cannot be seen";
  }
  EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(main, IDC_RUN_AT_STARTUP), GWL_STYLE) & BS_TYPEMASK,
            BS_AUTOCHECKBOX);
  EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(main, IDC_LOGO), GWL_STYLE) & SS_TYPEMASK, SS_OWNERDRAW);
  const HWND order[] = {GetDlgItem(main, IDC_USER_BOX), GetDlgItem(main, IDC_RUN_AT_STARTUP),
                        GetDlgItem(main, IDC_RECONNECT), GetDlgItem(main, IDC_EXIT),
                        GetDlgItem(main, IDC_USER_BOX)};
  ASSERT_TRUE(hta::wintest::WaitUntil([&] { return Focus(main) == order[0]; }, kStepTimeoutMs));
  for (std::size_t i = 1; i < std::size(order); ++i) {
    ASSERT_TRUE(PostMessageA(Focus(main), WM_KEYDOWN, VK_TAB, 1));
    EXPECT_TRUE(hta::wintest::WaitUntil([&] { return Focus(main) == order[i]; }, kStepTimeoutMs))
        << "Tab " << i;
  }
}

class LauncherE2eTest : public hta::wintest::RealLauncherTest {
 protected:
  // The launcher's requests to `server` after `since` (the transfer tests'
  // requests never go to /launcher/).
  static std::vector<LoggedRequest> LauncherRequests(const BackOffice& server, int since) {
    return server.RequestsWith("/launcher/", since);
  }
  std::vector<LoggedRequest> LauncherRequests() const { return LauncherRequests(*server_, mark_); }

  std::string Bootstrap(const std::string& route) const { return server_->Url("/launcher/" + route); }

  // The next message box of `launcher`, its caption and text checked; the
  // caller dismisses it.
  static std::optional<MessageBoxSeen> ExpectMessageBox(LauncherDriver& launcher, const std::string& text) {
    const std::optional<MessageBoxSeen> box = launcher.WaitForMessageBox(kStartTimeoutMs);
    EXPECT_TRUE(box) << "no message box \"" << text << "\" appeared";
    EXPECT_EQ(box.value_or(MessageBoxSeen{}).caption, kCaption);
    EXPECT_EQ(box.value_or(MessageBoxSeen{}).text, text);
    return box;
  }

  // Closes the window as a user would (the system menu's Close) and expects
  // the program to end with exit code 0.
  static void CloseAndExpectExit(LauncherDriver& launcher, HWND window) {
    ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(launcher.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0)) << "the launcher did not end";
  }
};

TEST_F(LauncherE2eTest, ALoginCarriesOutItsWholeReply) {
  ASSERT_TRUE(SetRegistryString(Registry::kUserKey, "user", "e2e-user"));
  ASSERT_TRUE(SetRegistryString(Registry::kBootParamsKey, "BootParams", "e2e-boot"));
  // An application folder that exists already is used as it is.
  ASSERT_TRUE(CreateDirectoryA(driver_.AppFolder().c_str(), nullptr));
  ASSERT_TRUE(hta::wintest::WriteFileBytes(driver_.AppFolder() + "kept.txt", "kept"));
  hta::wintest::FakeHtaAssociation association;
  ASSERT_TRUE(association.Ready()) << association.Error();
  const std::string record = driver_.RecordFakeOpenerRuns();

  Start({"--bootstrap", Bootstrap("tray/exebootstrap.php")});
  // The reply's message comes after its downloads, while the start-up still
  // runs with the window hidden.
  const std::optional<MessageBoxSeen> welcome =
      ExpectMessageBox(driver_, "Welcome to the loopback back office");
  ASSERT_TRUE(welcome);
  EXPECT_EQ(driver_.AppFolderFiles(), (std::vector<std::string>{"kept.txt", "orders.hta", "stock.hta"}));
  EXPECT_FALSE(IsWindowVisible(hta::wintest::MainWindowOf(driver_.ProcessId())))
      << "no window in the start-up";
  ASSERT_TRUE(hta::wintest::DismissMessageBox(welcome->window, kStepTimeoutMs));

  ASSERT_TRUE(driver_.WaitForTray(kStepTimeoutMs)) << "the window did not go to the tray";
  HWND window = driver_.WaitForMainWindow(kStepTimeoutMs);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_RECONNECT))) << "the buttons stay disabled in the tray";
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_EXIT)));
  EXPECT_EQ(WindowText(GetDlgItem(window, IDC_USER_BOX)), "e2e-user");

  const std::vector<LoggedRequest> requests = LauncherRequests();
  // The control's one HEAD request comes first, to the address's own host
  // and port.
  ASSERT_EQ(Paths(requests), (std::vector<std::string>{
                                 "HEAD /launcher/tray/exebootstrap.php",
                                 "GET /launcher/tray/exebootstrap.php",
                                 "GET /launcher/tray/login.php",
                                 "GET /launcher/files/orders.hta",
                                 "GET /launcher/files/stock.hta",
                             }))
      << Describe(requests);
  EXPECT_EQ(QueryValue(requests[1].target, "bootparams"), "e2e-boot");
  EXPECT_EQ(QueryValue(requests[2].target, "user"), "e2e-user");
  const std::string orders = driver_.AppFolder() + "orders.hta";
  EXPECT_EQ(hta::wintest::ReadFileBytes(orders), kOrders) << "the body as sent, and CR LF";

  // The main application (the entry marked so, not the first) was opened
  // once through the shell. Wine builds the opener's command line from the
  // registered command, %1 replaced by the file exactly as ShellExecuteW got
  // it and %* by the parameters string exactly as given (see
  // FakeHtaAssociation), so the line shows byte for byte the full path in the
  // test's own TEMP\hta\ and the parameters as the reply stored them.
  ASSERT_TRUE(
      hta::wintest::WaitUntil([&] { return !hta::wintest::FakeOpenerRuns(record).empty(); }, kStepTimeoutMs))
      << "the opener was not started";
  const std::string opener = "\"" + hta::wintest::FakeOpenerExePath() + "\" \"" + orders + "\" ";

  // A second copy, started while this one sits in the tray (from a folder of
  // its own, with a TEMP of its own), brings it out, restored, and ends
  // without side effects: no request, no application folder, nothing stored.
  const int before = LastSequence(*server_);
  LauncherDriver second;
  std::string error;
  ASSERT_TRUE(second.Start({"--bootstrap", Bootstrap("tray/exebootstrap.php")}, error)) << error;
  EXPECT_EQ(second.WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << "the second copy did not end";
  EXPECT_TRUE(
      hta::wintest::WaitUntil([&] { return IsWindowVisible(window) && !IsIconic(window); }, kStepTimeoutMs))
      << "the first copy came out of the tray, restored";
  EXPECT_TRUE(LauncherRequests(*server_, before).empty()) << Describe(LauncherRequests(*server_, before));
  EXPECT_EQ(GetFileAttributesA(second.AppFolder().c_str()), INVALID_FILE_ATTRIBUTES);

  // Nothing is stored before the end...
  EXPECT_EQ(RegistryString(Registry::kSettingsKey, "showPopups"), std::nullopt);
  CloseAndExpectExit(driver_, window);
  // ...and at the end, the user string of the login and the popup choice.
  EXPECT_EQ(RegistryString(Registry::kUserKey, "user"), "e2e-user");
  EXPECT_EQ(RegistryString(Registry::kSettingsKey, "showPopups"), "True");
  const std::vector<hta::wintest::FakeOpenerRun> runs = hta::wintest::FakeOpenerRuns(record);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].commandLine, opener + "--from e2e  'two words' C:\\dir\\");
  EXPECT_EQ(runs[0].currentFolder, "C:\\") << "the launch folder given to ShellExecuteW";

  // The log under the test's LOCALAPPDATA tells each step, and never the
  // user string, the boot parameters, a query or the application's parameters.
  const std::string log = hta::wintest::ReadFileBytes(driver_.LogPath()).value_or("");
  for (const char* told : {" INFO  Start: version ", "endpoints from command line", "tray/exebootstrap.php: ",
                           " INFO  Login http://127.0.0.1:", "main application opened", "Launch: orders.hta",
                           " INFO  End: closed\r\n"}) {
    EXPECT_NE(log.find(told), std::string::npos) << told << "\n" << log;
  }
  for (const char* secret : {"e2e-user", "e2e-boot", "two words", "?"}) {
    EXPECT_EQ(log.find(secret), std::string::npos) << secret << "\n" << log;
  }
}

TEST_F(LauncherE2eTest, AnEmptyLoginReplyLeavesTheWindowAsItWas) {
  ASSERT_TRUE(SetRegistryString(Registry::kUserKey, "user", "remembered"));
  ASSERT_TRUE(SetRegistryString(Registry::kSettingsKey, "showPopups", "False"));
  Start({"--bootstrap", Bootstrap("empty/exebootstrap.php")});
  const std::optional<MessageBoxSeen> box = ExpectMessageBox(
      driver_, "Failed to connect to the server. Please check your internet connection and retry");
  ASSERT_TRUE(box && hta::wintest::DismissMessageBox(box->window, kStepTimeoutMs));

  HWND window = driver_.WaitForMainWindow(kStepTimeoutMs, true);
  ASSERT_NE(window, nullptr) << "the window comes up when the login fails";
  EXPECT_TRUE(hta::wintest::WaitUntil(
      [&] {
        return IsWindowEnabled(GetDlgItem(window, IDC_EXIT)) &&
               IsWindowEnabled(GetDlgItem(window, IDC_RECONNECT));
      },
      kStepTimeoutMs));
  EXPECT_EQ(WindowText(GetDlgItem(window, IDC_USER_BOX)), "remembered");
  EXPECT_EQ(driver_.AppFolderFiles(), std::vector<std::string>{}) << "the folder is made, and stays empty";
  EXPECT_NE(GetFileAttributesA(driver_.AppFolder().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Paths(LauncherRequests()), (std::vector<std::string>{"HEAD /launcher/empty/exebootstrap.php",
                                                                 "GET /launcher/empty/exebootstrap.php",
                                                                 "GET /launcher/empty/login.php"}))
      << Describe(LauncherRequests());

  // Typed after the failed login, never used for one: not stored.
  ASSERT_TRUE(SendMessageTimeoutA(GetDlgItem(window, IDC_USER_BOX), WM_SETTEXT, 0,
                                  reinterpret_cast<LPARAM>("typed but not used"), SMTO_ABORTIFHUNG,
                                  kStepTimeoutMs, nullptr));
  ASSERT_TRUE(PostMessageA(GetDlgItem(window, IDC_EXIT), BM_CLICK, 0, 0));
  EXPECT_EQ(driver_.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0)) << "E&xit did not end the program";
  EXPECT_EQ(RegistryString(Registry::kUserKey, "user"), "remembered");
  EXPECT_EQ(RegistryString(Registry::kSettingsKey, "showPopups"), "False");
}

TEST_F(LauncherE2eTest, AnUnreachableBackOfficeEndsTheProgramWithAMessage) {
  ASSERT_TRUE(SetRegistryString(Registry::kUserKey, "user", "before"));
  // A full log is moved aside by the first line of this start.
  const std::string log = driver_.LogPath();
  const std::string logs = log.substr(0, log.rfind('\\'));
  CreateDirectoryA(logs.substr(0, logs.rfind('\\')).c_str(), nullptr);
  CreateDirectoryA(logs.c_str(), nullptr);
  const std::string full(1024 * 1024, 'x');
  ASSERT_TRUE(hta::wintest::WriteFileBytes(log, full));
  // Nothing listens on port 1; the others answer with no address.
  Start({"--bootstrap", "http://127.0.0.1:1/launcher/closed.php", "--bootstrap", Bootstrap("no/capitals.php"),
         "--bootstrap", Bootstrap("no/text.php"), "--bootstrap", Bootstrap("no/missing.php")});
  const std::optional<MessageBoxSeen> box =
      ExpectMessageBox(driver_, "Unable to connect to any of VANO servers. Please try again later.");
  ASSERT_TRUE(box);
  HWND window = hta::wintest::MainWindowOf(driver_.ProcessId());
  EXPECT_TRUE(window == nullptr || !IsWindowVisible(window)) << "the start-up shows no window";
  ASSERT_TRUE(hta::wintest::DismissMessageBox(box->window, kStepTimeoutMs));
  EXPECT_EQ(driver_.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0)) << "no end after the message";

  // Every endpoint was tried, in order, and nothing else was asked or saved
  // (the one HEAD request went to port 1).
  EXPECT_EQ(Paths(LauncherRequests()),
            (std::vector<std::string>{"GET /launcher/no/capitals.php", "GET /launcher/no/text.php",
                                      "GET /launcher/no/missing.php"}))
      << Describe(LauncherRequests());
  EXPECT_EQ(RegistryString(Registry::kUserKey, "user"), "before");
  EXPECT_EQ(RegistryString(Registry::kSettingsKey, "showPopups"), std::nullopt);
  EXPECT_EQ(hta::wintest::ReadFileBytes(log + ".1"), full);
  const std::string text = hta::wintest::ReadFileBytes(log).value_or("");
  EXPECT_EQ(text.find(" INFO  Start: version "), 23u) << text;
  EXPECT_NE(text.find(" INFO  End: no bootstrap endpoint answered\r\n"), std::string::npos) << text;
}

// An administrator demands HTTPS (the user's policy value; the machine's
// would decide if there were one): endpoints at http addresses are not
// reachable, so the server hears nothing, and the program ends as when no
// back office answers.
TEST_F(LauncherE2eTest, WithHttpsRequiredAnHttpBackOfficeIsNeverAsked) {
  const char* policyKey = "Software\\Policies\\HTA_Launcher";
  hta::wintest::SavedRegistryValue policy(policyKey, "RequireHttps");
  ASSERT_TRUE(hta::wintest::SetRegistryDword(policyKey, "RequireHttps", 1));
  Start({"--bootstrap", Bootstrap("tray/exebootstrap.php"), "--bootstrap",
         Bootstrap("quiet/exebootstrap.php")});
  const std::optional<MessageBoxSeen> box =
      ExpectMessageBox(driver_, "Unable to connect to any of VANO servers. Please try again later.");
  ASSERT_TRUE(box);
  ASSERT_TRUE(hta::wintest::DismissMessageBox(box->window, kStepTimeoutMs));
  EXPECT_EQ(driver_.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0)) << "no end after the message";
  EXPECT_EQ(Paths(LauncherRequests()), std::vector<std::string>{}) << Describe(LauncherRequests());
}

// At a drive's root (in Wine's prefix, the test's own; on Windows only where
// the user may write there, else in the driver's folder): a copy of its own
// name, whose Run value is named after it.
TEST_F(LauncherE2eTest, ACopyAtADrivesRootRunsUnderItsOwnName) {
  const std::string name = "HtaLauncherE2e" + std::to_string(GetCurrentProcessId());
  hta::wintest::SavedRegistryValue savedRun(Registry::kRunKey, name);
  LauncherDriver atRoot("C:\\" + name + ".exe");
  LauncherDriver& launcher = atRoot.Ready() ? atRoot : driver_;
  const std::string runValue = atRoot.Ready() ? name : Registry::kRunValue;
  // Another installation's registration ticks the box and is not rewritten.
  const std::string elsewhere = "\"C:\\Elsewhere\\HtaLauncher.exe\" --from-another-install";
  ASSERT_TRUE(SetRegistryString(Registry::kRunKey, runValue, elsewhere));
  ASSERT_TRUE(hta::wintest::SetRegistryDword(Registry::kBootParamsKey, "BootParams", 42));

  std::string error;
  ASSERT_TRUE(
      launcher.Start({"--bootstrap", Bootstrap("no/missing.php"), "--bootstrap",
                      Bootstrap("stay/exebootstrap.php"), "--bootstrap", Bootstrap("tray/exebootstrap.php")},
                     error))
      << error;
  HWND window = launcher.WaitForMainWindow(kStartTimeoutMs, true);
  ASSERT_NE(window, nullptr) << "a reply without a main application leaves the window up";
  const std::vector<LoggedRequest> requests = LauncherRequests();
  ASSERT_EQ(Paths(requests),
            (std::vector<std::string>{"HEAD /launcher/no/missing.php", "GET /launcher/no/missing.php",
                                      "GET /launcher/stay/exebootstrap.php", "GET /launcher/stay/login.php"}))
      << Describe(requests);
  EXPECT_EQ(QueryValue(requests[1].target, "bootparams"), "42") << "a stored number as its decimal text";
  EXPECT_TRUE(launcher.MessageBoxes().empty());
  ExpectTheForm(window);

  HWND box = GetDlgItem(window, IDC_RUN_AT_STARTUP);
  EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(RegistryString(Registry::kRunKey, runValue), elsewhere) << "setting the box wrote nothing";
  // Cleared: the value is gone.
  ASSERT_TRUE(PostMessageA(box, BM_CLICK, 0, 0));
  EXPECT_TRUE(
      hta::wintest::WaitUntil([&] { return !RegistryString(Registry::kRunKey, runValue); }, kStepTimeoutMs));
  // Ticked: the quoted full path of the program (at the root without a
  // doubled backslash).
  ASSERT_TRUE(PostMessageA(box, BM_CLICK, 0, 0));
  const std::string expected = "\"" + launcher.ExePath() + "\"";
  EXPECT_TRUE(hta::wintest::WaitUntil([&] { return RegistryString(Registry::kRunKey, runValue) == expected; },
                                      kStepTimeoutMs))
      << RegistryString(Registry::kRunKey, runValue).value_or("<none>") << ", expected " << expected;

  // Alt+X as the keyboard delivers it once translated: the dialog manager
  // finds the control whose mnemonic it is, and E&xit ends the program.
  ASSERT_TRUE(PostMessageA(window, WM_SYSCHAR, 'x', LPARAM{1} << 29));
  EXPECT_EQ(launcher.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0)) << "Alt+X did not end the program";
  EXPECT_EQ(RegistryString(Registry::kUserKey, "user"), "") << "the empty user of the login";
}

// The stored form of `password` for `user`, made by the administrators' tool,
// in an INI file naming the proxy at `port`.
std::string ProxySection(const std::string& user, const std::string& password, std::uint16_t port) {
  DWORD exitCode = 99;
  std::string stored =
      hta::wintest::RunForOutput("\"" + hta::wintest::ProxyPassExePath() + "\" \"" + user + "\"",
                                 password + "\r\n", exitCode)
          .value_or("");
  EXPECT_EQ(exitCode, 0u) << "proxypass.exe";
  stored = stored.substr(0, stored.find_first_of("\r\n"));
  EXPECT_EQ(stored.size(), 2 * password.size()) << stored;
  return "[proxy]\r\nProxyServer=127.0.0.1\r\nProxyPort=" + std::to_string(port) + "\r\nProxyUser=" + user +
         "\r\nProxyPass=" + stored + "\r\n";
}

// The bootstrap, the login, a download and a poll all reach a host that only
// the proxy knows, each answered with the stored password after the proxy's
// 407; none carries credentials for the server itself, not even to a first
// endpoint that asks for them with a 401.
TEST_F(LauncherE2eTest, EveryRequestGetsThroughTheAuthenticatingProxyWithTheStoredPassword) {
  std::string why;
  const std::optional<BackOffice> proxy = BackOffice::Find("backoffice_proxy_auth", why);
  ASSERT_TRUE(proxy) << why;
  const int since = LastSequence(*proxy);
  ASSERT_TRUE(hta::wintest::WriteFileBytes(driver_.IniPath(),
                                           ProxySection("hta-proxy", "pr0xy-secret", proxy->Port())));
  Start({"--bootstrap", "http://backoffice.invalid/launcher/proxy/locked.php", "--bootstrap",
         "http://backoffice.invalid/launcher/proxy/exebootstrap.php"});

  // hta-proxy:pr0xy-secret
  const std::string credentials = "Basic aHRhLXByb3h5OnByMHh5LXNlY3JldA==";
  const auto through = [&](const std::string& path) {
    for (const LoggedRequest& request : LauncherRequests(*proxy, since)) {
      if (request.method == "GET" && request.Header("Host") == "backoffice.invalid" &&
          request.target.find(path) != std::string::npos &&
          request.Header("Proxy-Authorization") == credentials) {
        return true;
      }
    }
    return false;
  };
  // Without a main application the window stays up after the login.
  HWND window = driver_.WaitForMainWindow(kStartTimeoutMs, true);
  ASSERT_NE(window, nullptr) << Describe(LauncherRequests(*proxy, since));
  ASSERT_TRUE(PostMessageA(window, WM_TIMER, hta::win32::MainWindow::kTimer1Id, 0));
  EXPECT_TRUE(hta::wintest::WaitUntil([&] { return through("/launcher/proxy/actions.php"); }, kStepTimeoutMs))
      << Describe(LauncherRequests(*proxy, since));
  for (const char* path : {"/launcher/proxy/locked.php", "/launcher/proxy/exebootstrap.php",
                           "/launcher/proxy/login.php", "/launcher/proxy/orders.hta"}) {
    EXPECT_TRUE(through(path)) << path;
  }
  // The request is logged when it arrives; the file is in place once its
  // body has been read and moved.
  const std::vector<std::string> files{"actions.xml", "orders.hta"};
  EXPECT_TRUE(hta::wintest::WaitUntil([&] { return driver_.AppFolderFiles() == files; }, kStepTimeoutMs))
      << Describe(LauncherRequests(*proxy, since));
  for (const LoggedRequest& request : LauncherRequests(*proxy, since)) {
    EXPECT_EQ(request.Header("Authorization"), std::nullopt) << request.Describe();
  }
  CloseAndExpectExit(driver_, window);
}

}  // namespace
