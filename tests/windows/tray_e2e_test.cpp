// The real HtaLauncher.exe in the tray, against the loopback back office,
// driven from outside the way Windows drives it: a timer tick is the
// WM_TIMER of the main window's Timer1 posted to it, a click on the tray
// icon is the icon's callback message posted as the shell posts it, a click
// on a popup is the mouse's button messages at a point of its client area,
// and a tray menu entry is chosen by typing its letter into the open menu
// (the menu returns its choice to the launcher directly, so a WM_COMMAND
// from outside would reach nothing).
// What the launcher did is read from the server's request record, the
// application folder, the fake ".hta" opener's record, the windows of its
// process and the registry.
//
// Like the other tests that start the real program, every test holds
// RealLauncherLock and runs the launcher in folders of its own (see
// launcher_driver.h).

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "backoffice_client.h"
#include "launcher_driver.h"
#include "popup/popup_layout.h"
#include "real_launcher_fixture.h"
#include "win32/dpi.h"
#include "win32/main_window.h"
#include "win32/win32_headers.h"
#include "win32/win32_popup.h"

#include <shellapi.h>  // after the Windows headers

namespace {

using hta::wintest::BackOffice;
using hta::wintest::FakeOpenerRun;
using hta::wintest::LoggedRequest;
using hta::wintest::WaitUntil;

using hta::wintest::kStartTimeoutMs;
using hta::wintest::kStepTimeoutMs;
// The tray icon's id; the shell puts it in the callback's wParam.
constexpr UINT kTrayIconId = 1;
constexpr const char* kMenuClass = "#32768";
constexpr int kPopupAlpha = 198;  // where the fade-in stops

using Registry = hta::wintest::FirstRunRegistry;

DWORD ProcessOf(HWND window) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner;
}

// The visible top-level windows of class `className` of a process.
std::vector<HWND> VisibleWindowsOf(DWORD processId, const char* className) {
  std::vector<HWND> found;
  HWND window = nullptr;
  while ((window = FindWindowExA(nullptr, window, className, nullptr)) != nullptr) {
    if (ProcessOf(window) == processId && IsWindowVisible(window)) {
      found.push_back(window);
    }
  }
  return found;
}

BYTE AlphaOf(HWND window) {
  BYTE alpha = 0;
  DWORD flags = 0;
  COLORREF key = 0;
  return GetLayeredWindowAttributes(window, &key, &alpha, &flags) ? alpha : 0;
}

// The middle of a designed item, in client pixels.
POINT Centre(const hta::PixelRect& r) {
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void PostClick(HWND window, POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageA(window, WM_LBUTTONUP, 0, where);
}

// Where the launcher places popups: the primary monitor's work area at the
// system DPI, as the program's popup factory reads it.
struct Screen {
  int dpi = 96;
  RECT work{};
};

Screen PopupScreen() {
  Screen screen;
  screen.dpi = static_cast<int>(hta::win32::DpiFunctions().ForSystem());
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info)) {
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &info.rcWork, 0);
  }
  screen.work = info.rcWork;
  return screen;
}

// Whether the shell's tray holds the icon of `window`: changing nothing of
// an icon succeeds only for one that is there.
bool TrayHoldsIcon(HWND window) {
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = kTrayIconId;
  data.uFlags = 0;
  return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

struct MenuEntry {
  std::string text;
  UINT state = 0;  // GetMenuState's flags
};

// The entries of a menu window of another process, or nullopt when its menu
// cannot be read from here.
std::optional<std::vector<MenuEntry>> MenuEntriesOf(HWND menuWindow) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(menuWindow, MN_GETHMENU, 0, 0, SMTO_ABORTIFHUNG, kStepTimeoutMs, &result)) {
    return std::nullopt;
  }
  HMENU menu = reinterpret_cast<HMENU>(result);
  const int count = GetMenuItemCount(menu);
  if (count < 0) {
    return std::nullopt;
  }
  std::vector<MenuEntry> entries;
  for (UINT i = 0; i < static_cast<UINT>(count); ++i) {
    char text[256] = {};
    GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
    entries.push_back(MenuEntry{text, GetMenuState(menu, i, MF_BYPOSITION)});
  }
  return entries;
}

// The tray menu of the "menu" login: its applications, one separator, the
// popup choice with its check, and "E&xit". Wine keeps a menu in the memory
// of its own process, so another process cannot read it there; the entries
// are then checked through their effects only.
void ExpectMenuEntries(HWND menuWindow, bool popupsChecked) {
  const std::optional<std::vector<MenuEntry>> entries = MenuEntriesOf(menuWindow);
  if (!entries) {
    EXPECT_TRUE(RunningUnderWine()) << "the tray menu's entries cannot be read";
    return;
  }
  std::vector<std::string> texts;
  for (const MenuEntry& entry : *entries) {
    texts.push_back((entry.state & MF_SEPARATOR) != 0 ? std::string("-") : entry.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"&Orders", "&Stock", "-", "Show &popup messages", "E&xit"}));
  if (entries->size() == 5) {
    EXPECT_EQ(((*entries)[3].state & MF_CHECKED) != 0, popupsChecked);
  }
}

class TrayE2eTest : public hta::wintest::RealLauncherTest {
 protected:
  void SetUp() override {
    RealLauncherTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) {
      return;
    }
    ASSERT_TRUE(association_.Ready()) << association_.Error();
    record_ = driver_.RecordFakeOpenerRuns();
  }

  // Starts the launcher on /tray/`name`/ and waits until it sits in the tray.
  void StartInTray(const std::string& name) {
    std::string error;
    ASSERT_TRUE(driver_.Start({"--bootstrap", server_->Url("/tray/" + name + "/exebootstrap.php")}, error))
        << error;
    ASSERT_TRUE(driver_.WaitForTray(kStartTimeoutMs)) << "the launcher did not go to the tray";
    main_ = driver_.WaitForMainWindow(kStepTimeoutMs);
    ASSERT_NE(main_, nullptr);
  }

  // This test's requests under /tray/ (the server's record is shared).
  std::vector<LoggedRequest> TrayRequests() const { return RequestsUnder(*server_, "/tray/", mark_); }

  std::vector<LoggedRequest> RequestsFor(const std::string& path) const {
    std::vector<LoggedRequest> matching;
    for (const LoggedRequest& request : TrayRequests()) {
      if (request.target.substr(0, request.target.find('?')) == path) {
        matching.push_back(request);
      }
    }
    return matching;
  }

  // Timer1 is due, as SetTimer would deliver it after a minute.
  void Tick() const { ASSERT_TRUE(PostMessageA(main_, WM_TIMER, hta::win32::MainWindow::kTimer1Id, 0)); }

  // The shell's report of a mouse message over the icon.
  void TrayClick(UINT mouseMessage) const {
    ASSERT_TRUE(PostMessageA(main_, hta::win32::MainWindow::kTrayMessage, kTrayIconId, mouseMessage));
  }

  // The popup windows of the launcher once `count` are shown and faded in.
  std::vector<HWND> WaitForPopups(std::size_t count) const {
    std::vector<HWND> popups;
    WaitUntil(
        [&] {
          popups = VisibleWindowsOf(driver_.ProcessId(), hta::win32::Win32Popup::kClassName);
          return popups.size() == count && std::all_of(popups.begin(), popups.end(), [](HWND popup) {
                   return AlphaOf(popup) == kPopupAlpha;
                 });
        },
        kStepTimeoutMs);
    return popups;
  }

  // The opener's start for `file`, once it is recorded.
  std::optional<FakeOpenerRun> WaitForOpenerRunOf(const std::string& file) const {
    std::optional<FakeOpenerRun> found;
    WaitUntil(
        [&] {
          for (const FakeOpenerRun& run : hta::wintest::FakeOpenerRuns(record_)) {
            if (run.commandLine.find("\"" + file + "\"") != std::string::npos) {
              found = run;
            }
          }
          return found.has_value();
        },
        kStepTimeoutMs);
    return found;
  }

  std::vector<FakeOpenerRun> WaitForOpenerRuns(std::size_t count) const {
    std::vector<FakeOpenerRun> runs;
    WaitUntil(
        [&] {
          runs = hta::wintest::FakeOpenerRuns(record_);
          return runs.size() >= count;
        },
        kStepTimeoutMs);
    return runs;
  }

  // The opener's command line for `file` opened with `parameters` (see
  // FakeHtaAssociation: the file and the parameters exactly as given).
  static std::string OpenerLine(const std::string& file, const std::string& parameters) {
    return "\"" + hta::wintest::FakeOpenerExePath() + "\" \"" + file + "\" " + parameters;
  }

  // The tray menu, shown by a right click on the icon.
  HWND OpenTrayMenu() const {
    TrayClick(WM_RBUTTONUP);
    std::vector<HWND> menus;
    WaitUntil([&] { return !(menus = VisibleWindowsOf(driver_.ProcessId(), kMenuClass)).empty(); },
              kStepTimeoutMs);
    return menus.empty() ? nullptr : menus.front();
  }

  // A key typed while the menu tracks: its loop reads the thread's
  // keyboard messages whichever of its windows they are posted to.
  bool TypeIntoMenu(HWND menu, UINT message, WPARAM key) const {
    return PostMessageA(menu, message, key, 0) &&
           WaitUntil([&] { return VisibleWindowsOf(driver_.ProcessId(), kMenuClass).empty(); },
                     kStepTimeoutMs);
  }

  // TearDown ends the launcher before the association goes.
  hta::wintest::FakeHtaAssociation association_;
  std::string record_;
  HWND main_ = nullptr;
};

TEST_F(TrayE2eTest, ATickFetchesTheActionListAndItsFilesThroughTemporaryFiles) {
  StartInTray("files");
  Tick();
  // While the sound's body is on its way, it is written into its ".temp"
  // file beside the action list that asked for it.
  EXPECT_TRUE(WaitUntil(
      [&] {
        return driver_.AppFolderFiles() == std::vector<std::string>{"actions.xml", "chime.wav.temp"};
      },
      kStepTimeoutMs))
      << "no temporary file seen; requests:" << Describe(TrayRequests());
  // The launch action's file is opened last: by then every file is in.
  const std::string report = driver_.AppFolder() + "report.hta";
  const std::optional<FakeOpenerRun> opened = WaitForOpenerRunOf(report);
  ASSERT_TRUE(opened) << "the launched file was not opened; requests:" << Describe(TrayRequests());
  // Opened with the application parameter: that of the login's last
  // application, as the reply had it.
  EXPECT_EQ(opened->commandLine, OpenerLine(report, "tray param"));

  const std::vector<LoggedRequest> lists = RequestsFor("/tray/files/actions.php");
  ASSERT_EQ(lists.size(), 1u) << Describe(TrayRequests());
  // The same parameter in the address, its blank encoded for the request line.
  const std::string prefix = "/tray/files/actions.php?VANO_BACKOFFICE=tray%20param&ts=";
  const std::string& target = lists[0].target;
  ASSERT_EQ(target.rfind(prefix, 0), 0u) << target;
  const std::string stamp = target.substr(prefix.size());
  ASSERT_EQ(stamp.size(), 8u) << target;
  for (std::size_t i = 0; i < stamp.size(); ++i) {
    if (i == 2 || i == 5) {
      EXPECT_EQ(stamp[i], ':') << target;
    } else {
      EXPECT_TRUE(stamp[i] >= '0' && stamp[i] <= '9') << target;
    }
  }
  EXPECT_EQ(RequestsFor("/tray/files/chime.wav").size(), 1u) << Describe(TrayRequests());
  EXPECT_EQ(RequestsFor("/tray/files/report.hta").size(), 1u) << Describe(TrayRequests());

  // Every file in place, no temporary file left over.
  EXPECT_EQ(driver_.AppFolderFiles(), (std::vector<std::string>{"actions.xml", "chime.wav", "report.hta"}));
  const std::optional<std::string> list = hta::wintest::ReadFileBytes(driver_.AppFolder() + "actions.xml");
  ASSERT_TRUE(list);
  EXPECT_NE(list->find("<action type=\"launch\""), std::string::npos) << *list;
  EXPECT_EQ(list->rfind("<actions>", 0), 0u) << *list;
  EXPECT_EQ(hta::wintest::ReadFileBytes(report),
            "<html><head><title>Report</title></head><body>Report</body></html>");
  EXPECT_EQ(hta::wintest::ReadFileBytes(driver_.AppFolder() + "chime.wav").value_or("").size(), 64u);
}

TEST_F(TrayE2eTest, APopupStandsInTheCornerAndClosesByItsTimerAndByItsCross) {
  StartInTray("popup");
  Tick();
  std::vector<HWND> popups = WaitForPopups(1);
  ASSERT_EQ(popups.size(), 1u) << "no popup faded in; requests:" << Describe(TrayRequests());
  HWND popup = popups[0];

  const Screen screen = PopupScreen();
  const int width = hta::PopupWidthPixels(screen.dpi);
  const int height = hta::PopupHeightPixels(screen.dpi);
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(popup, &rect));
  EXPECT_EQ(rect.left, screen.work.right - 20 - width);
  EXPECT_EQ(rect.top, screen.work.bottom - 60 - (height + 5));
  EXPECT_EQ(rect.right - rect.left, width);
  EXPECT_EQ(rect.bottom - rect.top, height);
  const LONG exStyle = GetWindowLongA(popup, GWL_EXSTYLE);
  EXPECT_NE(exStyle & WS_EX_TOPMOST, 0);
  EXPECT_NE(exStyle & WS_EX_LAYERED, 0);
  EXPECT_NE(exStyle & WS_EX_NOACTIVATE, 0);
  EXPECT_EQ(AlphaOf(popup), kPopupAlpha);

  // The popup's time is up: it fades out and goes.
  ASSERT_TRUE(PostMessageA(popup, WM_TIMER, hta::win32::Win32Popup::kTimerId, 0));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(popup); }, kStepTimeoutMs)) << "the timer did not close it";

  // The next tick's popup takes the same corner, and its "x" closes it.
  Tick();
  popups = WaitForPopups(1);
  ASSERT_EQ(popups.size(), 1u);
  popup = popups[0];
  ASSERT_TRUE(GetWindowRect(popup, &rect));
  EXPECT_EQ(rect.top, screen.work.bottom - 60 - (height + 5)) << "the new list starts at the lowest slot";
  PostClick(popup, Centre(hta::ToPixels(hta::kCloseTwips, screen.dpi)));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(popup); }, kStepTimeoutMs)) << "the \"x\" did not close it";
  EXPECT_TRUE(driver_.Running());
}

TEST_F(TrayE2eTest, ALinkPopupsTextFetchesItsFileAndOpensIt) {
  StartInTray("link");
  Tick();
  const std::vector<HWND> popups = WaitForPopups(1);
  ASSERT_EQ(popups.size(), 1u) << Describe(TrayRequests());
  EXPECT_TRUE(RequestsFor("/tray/files/linked.hta").empty()) << "nothing is fetched before the click";

  PostClick(popups[0], Centre(hta::ToPixels(hta::kMessageTwips, PopupScreen().dpi)));
  const std::string linked = driver_.AppFolder() + "linked.hta";
  const std::optional<FakeOpenerRun> opened = WaitForOpenerRunOf(linked);
  ASSERT_TRUE(opened) << "the linked file was not opened; requests:" << Describe(TrayRequests());
  EXPECT_EQ(opened->commandLine, OpenerLine(linked, "link-param"));
  EXPECT_EQ(RequestsFor("/tray/files/linked.hta").size(), 1u) << Describe(TrayRequests());
  EXPECT_EQ(hta::wintest::ReadFileBytes(linked),
            "<html><head><title>Linked</title></head><body>Linked</body></html>");
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(popups[0]); }, kStepTimeoutMs))
      << "the popup stays after the click";
}

TEST_F(TrayE2eTest, ThreePopupsStandAboveEachOther) {
  StartInTray("three");
  Tick();
  std::vector<HWND> popups = WaitForPopups(3);
  ASSERT_EQ(popups.size(), 3u) << Describe(TrayRequests());
  const Screen screen = PopupScreen();
  const int height = hta::PopupHeightPixels(screen.dpi);
  std::vector<RECT> rects;
  for (HWND popup : popups) {
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(popup, &rect));
    rects.push_back(rect);
  }
  // The lowest first.
  std::sort(rects.begin(), rects.end(), [](const RECT& a, const RECT& b) { return a.top > b.top; });
  for (int n = 1; n <= 3; ++n) {
    const RECT& rect = rects[static_cast<std::size_t>(n - 1)];
    EXPECT_EQ(rect.right, screen.work.right - 20) << n;
    EXPECT_EQ(rect.top, screen.work.bottom - 60 - n * (height + 5)) << n;
    EXPECT_EQ(rect.bottom - rect.top, height) << n;
  }
}

TEST_F(TrayE2eTest, TheTrayMenuOpensApplicationsTogglesPopupsAndExits) {
  ASSERT_TRUE(hta::wintest::SetRegistryString(Registry::kUserKey, "user", "tray-user"));
  StartInTray("menu");
  // The login opened the main application.
  const std::string orders = driver_.AppFolder() + "orders.hta";
  std::vector<FakeOpenerRun> runs = WaitForOpenerRuns(1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].commandLine, OpenerLine(orders, "menu-orders"));

  // A left click opens the main application again.
  TrayClick(WM_LBUTTONUP);
  runs = WaitForOpenerRuns(2);
  ASSERT_EQ(runs.size(), 2u) << "a left click on the icon opened nothing";
  EXPECT_EQ(runs[1].commandLine, OpenerLine(orders, "menu-orders"));

  // A right click shows the menu; Escape closes it, choosing nothing.
  HWND menu = OpenTrayMenu();
  ASSERT_NE(menu, nullptr) << "no menu after a right click";
  ExpectMenuEntries(menu, true);
  ASSERT_TRUE(TypeIntoMenu(menu, WM_KEYDOWN, VK_ESCAPE)) << "Escape did not close the menu";

  // Its second application, by its letter.
  menu = OpenTrayMenu();
  ASSERT_NE(menu, nullptr);
  ASSERT_TRUE(TypeIntoMenu(menu, WM_CHAR, 's'));
  runs = WaitForOpenerRuns(3);
  ASSERT_EQ(runs.size(), 3u) << "\"&Stock\" opened nothing";
  EXPECT_EQ(runs[2].commandLine, OpenerLine(driver_.AppFolder() + "stock.hta", "menu-stock"));

  // With popups on, a tick's popup action shows one; closed by its "x".
  Tick();
  std::vector<HWND> popups = WaitForPopups(1);
  ASSERT_EQ(popups.size(), 1u) << Describe(TrayRequests());
  PostClick(popups[0], Centre(hta::ToPixels(hta::kCloseTwips, PopupScreen().dpi)));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(popups[0]); }, kStepTimeoutMs));

  // "Show &popup messages" turns them off: the next list's popup is dropped.
  menu = OpenTrayMenu();
  ASSERT_NE(menu, nullptr);
  ASSERT_TRUE(TypeIntoMenu(menu, WM_CHAR, 'p'));
  Tick();
  ASSERT_TRUE(WaitUntil([&] { return RequestsFor("/tray/menu/actions.php").size() == 2; }, kStepTimeoutMs));
  // The list is processed right after its arrival; a popup would show within
  // this time.
  Sleep(1000);
  EXPECT_TRUE(VisibleWindowsOf(driver_.ProcessId(), hta::win32::Win32Popup::kClassName).empty());

  // "E&xit" ends the program and stores the settings.
  menu = OpenTrayMenu();
  ASSERT_NE(menu, nullptr);
  ExpectMenuEntries(menu, false);
  ASSERT_TRUE(PostMessageA(menu, WM_CHAR, 'x', 0));
  const std::optional<DWORD> code = driver_.WaitForExit(kStepTimeoutMs);
  ASSERT_TRUE(code) << "E&xit did not end the program";
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(hta::wintest::RegistryString(Registry::kSettingsKey, "showPopups"), "False");
  EXPECT_EQ(hta::wintest::RegistryString(Registry::kUserKey, "user"), "tray-user");
}

TEST_F(TrayE2eTest, TheIconComesBackWhenTheTaskbarIsCreatedAgain) {
  StartInTray("popup");
  ASSERT_TRUE(WaitUntil([&] { return TrayHoldsIcon(main_); }, kStepTimeoutMs)) << "no icon in the tray";

  // The tray forgets the icon, as a restarted Explorer would...
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = main_;
  data.uID = kTrayIconId;
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
  ASSERT_FALSE(TrayHoldsIcon(main_));

  // ...and announces itself; the launcher adds its icon again.
  const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
  ASSERT_NE(taskbarCreated, 0u);
  ASSERT_TRUE(PostMessageA(main_, taskbarCreated, 0, 0));
  EXPECT_TRUE(WaitUntil([&] { return TrayHoldsIcon(main_); }, kStepTimeoutMs))
      << "the icon did not come back";
  EXPECT_TRUE(driver_.Running());
}

}  // namespace
