// The real HtaLauncher.exe in the tray, against the loopback back office,
// driven from outside the way Windows drives it: a timer tick is the
// WM_TIMER of the main window's the poll timer posted to it, a click on the tray
// icon is the icon's callback message posted as the shell posts it (or the
// mouse's messages posted to Wine's own window of the icon), a click on a
// popup is the mouse's button messages at a point of its client area, a
// tray menu entry is chosen by typing its letter into the open menu (the
// menu returns its choice to the launcher directly, so a WM_COMMAND from
// outside would reach nothing), and the end of the session and a resume
// from sleep are the messages Windows sends then.
// What the launcher did is read from the server's request record, the
// application folder, the fake ".hta" opener's record, the windows of its
// process and the registry.
//
// Like the other tests that start the real program, every test holds
// RealLauncherLock and runs the launcher in folders of its own (see
// launcher_driver.h).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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
#include "window_answers.h"

#include <shellapi.h>  // after the Windows headers

namespace {

using hta::wintest::CentreOf;
using hta::wintest::LoggedRequest;
using hta::wintest::PostClick;
using hta::wintest::VisibleWindowsOf;
using hta::wintest::WaitUntil;

using hta::wintest::kStartTimeoutMs;
using hta::wintest::kStepTimeoutMs;
// The tray icon's id; the shell puts it in the callback's wParam.
constexpr UINT kTrayIconId = 1;
constexpr int kPopupAlpha = 198;  // where the fade-in stops

using Registry = hta::wintest::FirstRunRegistry;

// The system DPI, at which the launcher draws its popups.
int Dpi() {
  return static_cast<int>(hta::win32::DpiFunctions().ForSystem());
}

// Shell_NotifyIconA on the launcher's icon, changing nothing: NIM_MODIFY
// succeeds only for an icon that is in the tray.
bool NotifyIcon(DWORD message, HWND window) {
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = kTrayIconId;
  return Shell_NotifyIconA(message, &data) != FALSE;
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
    Start({"--bootstrap", server_->Url("/tray/" + name + "/exebootstrap.php")});
    ASSERT_TRUE(driver_.WaitForTray(kStartTimeoutMs)) << "the launcher did not go to the tray";
    main_ = driver_.WaitForMainWindow(kStepTimeoutMs);
    ASSERT_NE(main_, nullptr);
  }

  // This test's requests under /tray/ (the server's record is shared).
  std::vector<LoggedRequest> TrayRequests() const { return server_->RequestsWith("/tray/", mark_); }

  // This test's requests for `path` (no other path of the scenario holds it).
  std::vector<LoggedRequest> RequestsFor(const std::string& path) const {
    return server_->RequestsWith(path, mark_);
  }

  // The poll timer is due, as SetTimer would deliver it after a minute.
  void Tick() const { ASSERT_TRUE(PostMessageA(main_, WM_TIMER, hta::win32::MainWindow::kTimer1Id, 0)); }

  // The mouse messages of a click (or a double click: down, up, double
  // click, up) on the icon in Wine's tray, which turns them into the
  // notifications the launcher gets. Wine's tray, without a desktop shell, is
  // a stand-alone window with a child per icon; the messages go to every icon
  // there: the others are those of launchers that earlier tests ended, which
  // Wine drops when it finds their owner gone.
  void WineTrayClick(bool twice) const {
    HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
    HWND icon = nullptr;
    ASSERT_NE(tray, nullptr) << "no Wine tray";
    while ((icon = FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr)) != nullptr) {
      for (const UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) {
        PostMessageA(icon, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(8, 8));
        if (!twice && message == WM_LBUTTONUP) {
          break;
        }
      }
    }
  }

  // Sends a session message as Windows does, waiting for the answer.
  LRESULT SendToMain(UINT message, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutA(main_, message, wParam, lParam, SMTO_ABORTIFHUNG, kStepTimeoutMs, &result),
              0)
        << "no answer to message " << message;
    return static_cast<LRESULT>(result);
  }

  // The popup windows of the launcher once `count` are shown and faded in.
  std::vector<HWND> WaitForPopups(std::size_t count) const {
    std::vector<HWND> popups;
    WaitUntil(
        [&] {
          popups = VisibleWindowsOf(driver_.ProcessId(), hta::win32::Win32Popup::kClassName);
          return popups.size() == count && std::all_of(popups.begin(), popups.end(), [](HWND popup) {
                   BYTE alpha = 0;
                   return GetLayeredWindowAttributes(popup, nullptr, &alpha, nullptr) && alpha == kPopupAlpha;
                 });
        },
        kStepTimeoutMs);
    return popups;
  }

  bool ChooseFromTrayMenu(UINT message, WPARAM key) {
    return driver_.ChooseFromTrayMenu(message, key, kStepTimeoutMs);
  }

  // TearDown ends the launcher before the association goes.
  hta::wintest::FakeHtaAssociation association_;
  HWND main_ = nullptr;
};

TEST_F(TrayE2eTest, ATickFetchesEveryFileThroughATemporaryFile) {
  // DLLs named like WinINet and WinMM beside the program, preferred by Wine
  // as Windows prefers them: the program uses both (transfers, the sound)
  // and must take neither.
  ASSERT_TRUE(driver_.PlantDlls({"winmm", "wininet"}));
  ASSERT_NO_FATAL_FAILURE(StartInTray("files"))
      << "planted DLLs loaded: " << ::testing::PrintToString(driver_.LoadedPlantedDlls());
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
  // (The login's main application was never downloaded: nothing opened it.)
  const std::string report = driver_.AppFolder() + "report.hta";
  // Opened with the application parameter: that of the login's last
  // application, as the reply had it.
  ExpectOpened(1, report, "tray param");

  // The same parameter in the list's address, its blank encoded.
  const std::vector<LoggedRequest> lists = RequestsFor("/tray/files/actions.php");
  ASSERT_EQ(lists.size(), 1u) << Describe(TrayRequests());
  EXPECT_EQ(lists[0].target.rfind("/tray/files/actions.php?VANO_BACKOFFICE=tray%20param&ts=", 0), 0u);
  // The ".mp3" sound's arrival did not run the list again: the launched
  // file was fetched (and opened) once.
  EXPECT_EQ(RequestsFor("/tray/files/report.hta").size(), 1u) << Describe(TrayRequests());
  EXPECT_EQ(TrayRequests().size(), 7u)
      << "bootstrap's HEAD and GET, login, list, two sounds, launched file" << Describe(TrayRequests());

  // Every file in place and whole, no temporary file left over.
  EXPECT_EQ(driver_.AppFolderFiles(),
            (std::vector<std::string>{"actions.xml", "chime.wav", "report.hta", "tune.mp3"}));
  EXPECT_EQ(hta::wintest::ReadFileBytes(report),
            "<html><head><title>Report</title></head><body>Report</body></html>");
  EXPECT_EQ(hta::wintest::ReadFileBytes(driver_.AppFolder() + "chime.wav").value_or("").size(), 64u);
  EXPECT_EQ(driver_.LoadedPlantedDlls(), std::vector<std::string>{});
}

TEST_F(TrayE2eTest, TheIconComesBackWhenTheTaskbarDoes) {
  StartInTray("three");
  ASSERT_TRUE(WaitUntil([&] { return NotifyIcon(NIM_MODIFY, main_); }, kStepTimeoutMs))
      << "no icon in the tray";
  // The tray forgets the icon, as a restarted Explorer would, and announces
  // itself; the launcher adds its icon again.
  ASSERT_TRUE(NotifyIcon(NIM_DELETE, main_));
  ASSERT_FALSE(NotifyIcon(NIM_MODIFY, main_));
  ASSERT_TRUE(PostMessageA(main_, RegisterWindowMessageA("TaskbarCreated"), 0, 0));
  EXPECT_TRUE(WaitUntil([&] { return NotifyIcon(NIM_MODIFY, main_); }, kStepTimeoutMs))
      << "the icon did not come back";
}

// The popups of one list stand above each other in the corner; each goes
// when its time is up or its "x" is clicked.
TEST_F(TrayE2eTest, APollsPopupsStackUpInTheCornerUntilClosed) {
  StartInTray("three");
  // Back from sleep, the list is polled within seconds, without waiting for
  // the minute's tick. Ticks that arrive while that list is fetched and its
  // popups fade in are skipped, so the list is fetched once and its popups
  // take one slot each.
  ASSERT_TRUE(PostMessageA(main_, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0));
  ASSERT_TRUE(WaitUntil([&] { return !RequestsFor("/tray/three/actions.php").empty(); }, kStepTimeoutMs))
      << "no poll after the resume";
  Tick();
  Tick();
  const std::vector<HWND> popups = WaitForPopups(3);
  ASSERT_EQ(popups.size(), 3u) << "no popups faded in; requests:" << Describe(TrayRequests());
  // In the primary monitor's work area, at the system DPI.
  RECT work{};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
  const int width = hta::PopupWidthPixels(Dpi());
  const int height = hta::PopupHeightPixels(Dpi());
  const auto rectOf = [](HWND popup) {
    RECT rect{};
    GetWindowRect(popup, &rect);
    return rect;
  };
  // The lowest first, then upwards.
  std::vector<HWND> placed = popups;
  std::sort(placed.begin(), placed.end(), [&](HWND a, HWND b) { return rectOf(a).top > rectOf(b).top; });
  for (int n = 1; n <= 3; ++n) {
    HWND popup = placed[static_cast<std::size_t>(n - 1)];
    const RECT rect = rectOf(popup);
    EXPECT_EQ(rect.left, work.right - 20 - width) << n;
    EXPECT_EQ(rect.top, work.bottom - 60 - n * (height + 5)) << n;
    EXPECT_EQ(rect.right - rect.left, width) << n;
    EXPECT_EQ(rect.bottom - rect.top, height) << n;
    EXPECT_EQ(GetWindowLongA(popup, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_NOACTIVATE),
              WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_NOACTIVATE);
  }

  // The lowest one's time is up: it fades out and goes; the "x" of the
  // next closes it.
  HWND timed = placed[0];
  ASSERT_TRUE(PostMessageA(timed, WM_TIMER, hta::win32::Win32Popup::kTimerId, 0));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(timed); }, kStepTimeoutMs)) << "the timer did not close it";
  HWND crossed = placed[1];
  PostClick(crossed, CentreOf(hta::ToPixels(hta::kCloseTwips, Dpi())));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(crossed); }, kStepTimeoutMs)) << "the \"x\" did not close it";
  EXPECT_TRUE(IsWindowVisible(placed[2]));
  // Checked last: a poll held back until the list's end would have gone out
  // by now.
  EXPECT_EQ(RequestsFor("/tray/three/actions.php").size(), 1u) << Describe(TrayRequests());
}

TEST_F(TrayE2eTest, EachTrayMenuEntryDoesWhatItSays) {
  ASSERT_TRUE(hta::wintest::SetRegistryString(Registry::kUserKey, "user", "tray-user"));
  StartInTray("menu");
  // The login opened the main application.
  const std::string orders = driver_.AppFolder() + "orders.hta";
  ExpectOpened(1, orders, "menu-orders");

  // A double click on the icon opens the main application again, once, and
  // so does a single click. (An extra opening would show in the counts of
  // the steps below.)
  WineTrayClick(true);
  ExpectOpened(2, orders, "menu-orders");
  WineTrayClick(false);
  ExpectOpened(3, orders, "menu-orders");

  // A right click shows the menu; Escape closes it, choosing nothing. (Wine
  // keeps a menu in the memory of its own process: its entries are checked
  // through their effects.)
  ASSERT_TRUE(ChooseFromTrayMenu(WM_KEYDOWN, VK_ESCAPE)) << "no menu, or Escape did not close it";

  // Its second application is a command file: the entry is there and does
  // nothing (checked at the end, when a run would long have left its file).
  ASSERT_TRUE(ChooseFromTrayMenu(WM_CHAR, 't')) << "no \"&Tool\" entry";

  // Its third application, by its letter.
  ASSERT_TRUE(ChooseFromTrayMenu(WM_CHAR, 's'));
  ExpectOpened(4, driver_.AppFolder() + "stock.hta", "menu-stock");

  // With popups on, a tick shows the list's link popup; a click on its text
  // fetches its file (not before) and opens it with the parameter of the
  // login's last application, and the popup goes.
  Tick();
  const std::vector<HWND> popups = WaitForPopups(1);
  ASSERT_EQ(popups.size(), 1u) << Describe(TrayRequests());
  EXPECT_TRUE(RequestsFor("/tray/files/linked.hta").empty()) << "nothing is fetched before the click";
  PostClick(popups[0], CentreOf(hta::ToPixels(hta::kMessageTwips, Dpi())));
  const std::string linked = driver_.AppFolder() + "linked.hta";
  ExpectOpened(5, linked, "menu-stock");
  EXPECT_EQ(hta::wintest::ReadFileBytes(linked),
            "<html><head><title>Linked</title></head><body>Linked</body></html>");
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(popups[0]); }, kStepTimeoutMs))
      << "the popup stays after the click";

  // "Show &popup messages" turns them off: the next list's popup is dropped.
  ASSERT_TRUE(ChooseFromTrayMenu(WM_CHAR, 'p'));
  Tick();
  // The poll's log line comes once the list has been acted on: a popup
  // would have been shown before it.
  ASSERT_TRUE(WaitUntil([&] { return CountLines(Log(), " INFO  Poll: ") == 2; }, kStepTimeoutMs))
      << Describe(TrayRequests());
  EXPECT_EQ(CountLines(Log(), " INFO  Popup shown"), 1);
  EXPECT_TRUE(VisibleWindowsOf(driver_.ProcessId(), hta::win32::Win32Popup::kClassName).empty());

  // The command file was downloaded at login, and never run.
  const std::vector<std::string> files = driver_.AppFolderFiles();
  EXPECT_NE(std::find(files.begin(), files.end(), "tool.cmd"), files.end());
  EXPECT_EQ(std::find(files.begin(), files.end(), "tool-ran.txt"), files.end()) << "tool.cmd was run";

  // "E&xit" ends the program and stores the settings.
  ASSERT_TRUE(ChooseFromTrayMenu(WM_CHAR, 'x'));
  EXPECT_EQ(driver_.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0)) << "E&xit did not end the program";
  EXPECT_EQ(hta::wintest::RegistryString(Registry::kSettingsKey, "showPopups"), "False");
  EXPECT_EQ(hta::wintest::RegistryString(Registry::kUserKey, "user"), "tray-user");
}

// A list that never answers holds the polling only until the time limit of
// its request (30 s): ticks meanwhile are skipped (the window handles them at
// once), and the first tick after the limit polls again.
TEST_F(TrayE2eTest, AListThatNeverAnswersHoldsThePollingOnlyUntilTheTimeLimit) {
  StartInTray("stall");
  const auto polls = [&] { return RequestsFor("/tray/stall/actions.php").size(); };
  Tick();
  ASSERT_TRUE(WaitUntil([&] { return polls() == 1; }, kStepTimeoutMs)) << Describe(TrayRequests());
  const ULONGLONG stalled = GetTickCount64();
  const bool polledAgain = WaitUntil(
      [&] {
        Tick();
        return WaitUntil([&] { return polls() == 2; }, 1000);
      },
      45000);
  EXPECT_TRUE(polledAgain) << Describe(TrayRequests());
  EXPECT_GE(GetTickCount64() - stalled, 25000u) << "the stalled poll ended before its time limit";
}

// The end of the session and Exit in the middle of a slow download. The
// user string is stored at the login, the popup choice at the end; the
// session's end is answered "yes", a called-off end changes nothing.
TEST_F(TrayE2eTest, EveryEndStoresTheSettingsWithoutWaitingForADownload) {
  StartInTray("slow");
  EXPECT_EQ(hta::wintest::RegistryString(Registry::kUserKey, "user"), "") << "stored after the login";
  EXPECT_EQ(SendToMain(WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP), TRUE);
  SendToMain(WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(driver_.Running());
  EXPECT_TRUE(NotifyIcon(NIM_MODIFY, main_)) << "the icon stays when the end is called off";
  EXPECT_EQ(hta::wintest::RegistryString(Registry::kSettingsKey, "showPopups"), std::nullopt);

  // The launch action's file drips in; the old one stays until it is whole.
  const std::string target = driver_.AppFolder() + "slow.hta";
  ASSERT_TRUE(hta::wintest::WriteFileBytes(target, "OLD"));
  Tick();
  ASSERT_TRUE(WaitUntil([&] { return hta::wintest::ReadFileBytes(target + ".temp").value_or("").size() > 0; },
                        kStepTimeoutMs))
      << Describe(TrayRequests());
  // Timed from the right click that opens the menu: the launcher sees it
  // only once the read in progress has returned. The rest of the file would
  // drip for minutes; the end comes a fraction of a second after the click
  // on an idle machine (printed), and well within seconds on a busy one.
  const ULONGLONG clicked = GetTickCount64();
  ASSERT_TRUE(ChooseFromTrayMenu(WM_CHAR, 'x'));
  EXPECT_EQ(driver_.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0));
  const ULONGLONG took = GetTickCount64() - clicked;
  std::printf("from the click to the end of the process: %llu ms\n", took);
  EXPECT_LT(took, 5000u) << "the download was not cut short";
  EXPECT_EQ(driver_.AppFolderFiles(), (std::vector<std::string>{"actions.xml", "slow.hta"}));
  EXPECT_EQ(hta::wintest::ReadFileBytes(target), "OLD");
  EXPECT_EQ(hta::wintest::RegistryString(Registry::kSettingsKey, "showPopups"), "True");

  // A new start right after is not refused. Its session ends (an installer
  // closing it): the settings are stored and the icon is gone by the time
  // the message has been answered, and the program ends.
  StartInTray("slow");
  hta::wintest::DeleteRegistryValue(Registry::kUserKey, "user");
  hta::wintest::DeleteRegistryValue(Registry::kSettingsKey, "showPopups");
  SendToMain(WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
  EXPECT_FALSE(NotifyIcon(NIM_MODIFY, main_));
  EXPECT_EQ(hta::wintest::RegistryString(Registry::kUserKey, "user"), "");
  EXPECT_EQ(hta::wintest::RegistryString(Registry::kSettingsKey, "showPopups"), "True");
  EXPECT_EQ(driver_.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0));
}

// A back office that is silent for 6 s at the login and again at a poll:
// the window answers all the while, asked every 100 ms as Windows asks a
// window before it calls it "not responding". Every answer comes within 2 s
// (within milliseconds on an idle machine: the figures are printed).
TEST_F(TrayE2eTest, TheWindowKeepsAnsweringWhileTheBackOfficeIsSilent) {
  Start({"--bootstrap", server_->Url("/tray/silent/exebootstrap.php")});
  main_ = driver_.WaitForMainWindow(kStartTimeoutMs);
  ASSERT_NE(main_, nullptr);
  hta::wintest::WindowAnswerWatch duringLogin(main_);
  ASSERT_TRUE(driver_.WaitForTray(kStartTimeoutMs)) << Describe(TrayRequests());
  const hta::wintest::WindowAnswers login = duringLogin.Stop();
  ASSERT_EQ(RequestsFor("/tray/silent/login.php").size(), 1u) << Describe(TrayRequests());

  hta::wintest::WindowAnswerWatch duringPoll(main_);
  Tick();
  const std::string list = driver_.AppFolder() + "actions.xml";
  ASSERT_TRUE(
      WaitUntil([&] { return GetFileAttributesA(list.c_str()) != INVALID_FILE_ATTRIBUTES; }, kStepTimeoutMs))
      << Describe(TrayRequests());
  const hta::wintest::WindowAnswers poll = duringPoll.Stop();

  std::printf("silent login: worst answer %.0f ms over %d asks; silent poll: %.0f ms over %d asks\n",
              login.worstMs, login.asks, poll.worstMs, poll.asks);
  EXPECT_LT(login.worstMs, 2000.0) << "the window hung while the login was silent";
  EXPECT_LT(poll.worstMs, 2000.0) << "the window hung while the action list was silent";
}

// Exit while the back office never answers, once while a poll's request for
// its list is on its way and once while a request for a file of a list is:
// the program ends within seconds, long before the requests' 30 s time
// limit, and leaves no temporary file behind.
TEST_F(TrayE2eTest, ExitWhileTheBackOfficeNeverAnswersEndsTheProgramCleanly) {
  const struct {
    const char* name;
    const char* silentPath;
  } scenes[] = {{"mute-list", "/tray/mute-list/actions.php"}, {"mute-file", "/tray/mute-file/chime.wav"}};
  for (const auto& scene : scenes) {
    SCOPED_TRACE(scene.name);
    ASSERT_NO_FATAL_FAILURE(StartInTray(scene.name));
    Tick();
    ASSERT_TRUE(WaitUntil([&] { return !RequestsFor(scene.silentPath).empty(); }, kStepTimeoutMs))
        << Describe(TrayRequests());
    const std::optional<double> took =
        driver_.TimeExit(hta::wintest::LauncherDriver::ExitBy::TrayMenu, kStepTimeoutMs);
    ASSERT_TRUE(took) << "Exit did not end the program while the back office was silent";
    std::printf("%s: from the click to the end of the process: %.0f ms\n", scene.name, *took);
    EXPECT_EQ(driver_.WaitForExit(0), std::optional<DWORD>(0));
    for (const std::string& file : driver_.AppFolderFiles()) {
      EXPECT_EQ(file.find(".temp"), std::string::npos) << file << " was left behind";
    }
  }
}

}  // namespace
