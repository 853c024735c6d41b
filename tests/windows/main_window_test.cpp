// Starts the real HtaLauncher.exe and looks at it from outside, as a user
// (or a screen reader) would: its window, its controls, its keyboard
// handling, its resources, and how it ends. Then the window in this process
// and the message box, for what the real program cannot be made to show: a
// click on a disabled button, the timer, a close the core refuses, calls
// after the end, a gone owner and a text with printf directives.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "backoffice_client.h"
#include "launcher_driver.h"
#include "real_launcher_fixture.h"
#include "win32/handles.h"
#include "win32/main_window.h"
#include "win32/resource_ids.h"
#include "win32/unique_handle.h"
#include "win32/win32_dialogs.h"
#include "win32/win32_headers.h"
#include "win32/win32_message_pump.h"

namespace {

constexpr DWORD kMessageTimeoutMs = 5000;

using hta::wintest::kStartTimeoutMs;
using hta::wintest::kStepTimeoutMs;
using hta::wintest::WaitUntil;
using hta::wintest::WindowText;

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The launcher logs in as it starts, against the loopback back office, with
// a reply that leaves the window up.
class MainWindowTest : public hta::wintest::RealLauncherTest {
 protected:
  // The control that has the keyboard focus in the launcher's GUI thread.
  static HWND Focus(HWND main) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) ? info.hwndFocus : nullptr;
  }
};

TEST_F(MainWindowTest, ShowsTheControlsOfTheFormMovesThroughThemInReadingOrderAndEndsOnAltX) {
  Start({"--bootstrap", server_->Url("/launcher/stay/exebootstrap.php")});
  HWND main = driver_.WaitForMainWindow(kStartTimeoutMs, true);
  ASSERT_NE(main, nullptr) << "no window appeared";
  EXPECT_EQ(WindowText(main), "App Launcher");
  // A fixed-size window: no sizing border, no maximise box.
  const LONG_PTR style = GetWindowLongPtrA(main, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_MAXIMIZEBOX),
            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);

  struct Expected {
    int id;
    const char* windowClass;
    const char* text;
  };
  const Expected controls[] = {
      {IDC_LABEL1, "Static", "User:"},
      {IDC_TXTNAME, "Edit", ""},
      {IDC_CMDLOGIN, "Button", "&Reconnect"},
      {IDC_CMDEXIT, "Button", "E&xit"},
      {IDC_CHKRUN, "Button", "&Run at Startup"},
      {IDC_LBLSTATUS, "Static", ""},
      {IDC_LBLVERSION, "Static", "version 3.0.4"},
      {IDC_LABEL2, "Static", "VANO Launcher"},
      {IDC_IMAGE1, "Static", ""},
  };
  for (const Expected& c : controls) {
    HWND control = GetDlgItem(main, c.id);
    ASSERT_NE(control, nullptr) << c.id << " is missing";
    EXPECT_EQ(ClassOf(control), c.windowClass) << c.id;
    EXPECT_EQ(WindowText(control), c.text) << c.id;
    RECT r{};
    GetClientRect(control, &r);
    EXPECT_TRUE(IsWindowVisible(control) && r.right > 0 && r.bottom > 0) << c.id << " cannot be seen";
  }
  EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(main, IDC_CHKRUN), GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
  EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(main, IDC_IMAGE1), GWL_STYLE) & SS_TYPEMASK, SS_OWNERDRAW);
  EXPECT_EQ(SendMessageA(GetDlgItem(main, IDC_CHKRUN), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  // The user box starts with the focus; Tab goes round in reading order.
  const HWND order[] = {GetDlgItem(main, IDC_TXTNAME), GetDlgItem(main, IDC_CHKRUN),
                        GetDlgItem(main, IDC_CMDLOGIN), GetDlgItem(main, IDC_CMDEXIT),
                        GetDlgItem(main, IDC_TXTNAME)};
  ASSERT_TRUE(WaitUntil([&] { return Focus(main) == order[0]; }, kMessageTimeoutMs));
  for (std::size_t i = 1; i < std::size(order); ++i) {
    ASSERT_TRUE(PostMessageA(Focus(main), WM_KEYDOWN, VK_TAB, 1));
    EXPECT_TRUE(WaitUntil([&] { return Focus(main) == order[i]; }, kMessageTimeoutMs)) << "Tab number " << i;
  }

  // Alt+X as the keyboard delivers it once translated: the dialog manager
  // finds the control whose mnemonic it is, and E&xit ends the program.
  ASSERT_TRUE(PostMessageA(main, WM_SYSCHAR, 'x', LPARAM{1} << 29));
  EXPECT_EQ(driver_.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0)) << "Alt+X did not end the program";
}

// The bytes of one resource of a module loaded as data.
std::string ResourceBytes(HMODULE module, const char* type, int id) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (found == nullptr) {
    return {};
  }
  HGLOBAL loaded = LoadResource(module, found);
  const char* data = static_cast<const char*>(loaded ? LockResource(loaded) : nullptr);
  return data ? std::string(data, SizeofResource(module, found)) : std::string();
}

TEST(LauncherResourcesTest, CarryTheVersionTheIconsAndTheManifest) {
  const std::string path = hta::wintest::LauncherExePath();
  DWORD ignored = 0;
  std::vector<char> block(GetFileVersionInfoSizeA(path.c_str(), &ignored));
  ASSERT_FALSE(block.empty()) << path;
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  char* product = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 3));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 4));
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\ProductVersion",
                             reinterpret_cast<void**>(&product), &length));
  EXPECT_STREQ(product, "3.0.4");

  const hta::win32::OwnedModule exe = hta::win32::LoadDataModule(path.c_str());
  ASSERT_NE(exe.get(), nullptr);
  // The icon group holds at least the 16, 32 and 48 pixel images.
  const std::string group = ResourceBytes(exe.get(), RT_GROUP_ICON, IDI_APP);
  std::vector<int> sizes;
  for (std::size_t at = 6; group.size() >= 6 && at + 14 <= group.size(); at += 14) {
    sizes.push_back(static_cast<unsigned char>(group[at]));
  }
  for (int wanted : {16, 32, 48}) {
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), wanted), sizes.end()) << wanted << " pixel icon";
  }
  const std::string manifest = ResourceBytes(exe.get(), RT_MANIFEST, 1);
  for (const char* entry :
       {"asInvoker", "Microsoft.Windows.Common-Controls", "PerMonitorV2", "true/pm", "supportedOS"}) {
    EXPECT_NE(manifest.find(entry), std::string::npos) << entry;
  }
}

// The window in this process, driven through MainWindowView with a recording
// events object: what the core will see.
class RecordingEvents final : public hta::MainWindowEvents {
 public:
  std::vector<std::string> calls;
  hta::MainWindowView* closeOnUnload = nullptr;

  void cmdLogin_Click() override { calls.push_back("cmdLogin_Click"); }
  void cmdExit_Click() override { calls.push_back("cmdExit_Click"); }
  void chkRun_Click() override { calls.push_back("chkRun_Click"); }
  void smnuApp_Click(int index) override { calls.push_back("smnuApp_Click " + std::to_string(index)); }
  void smnuShowPopups_Click() override { calls.push_back("smnuShowPopups_Click"); }
  void smnuExit_Click() override { calls.push_back("smnuExit_Click"); }
  void Timer1_Timer() override { calls.push_back("Timer1_Timer"); }
  void TrayNotification(unsigned mouseMessage) override {
    calls.push_back("TrayNotification " + std::to_string(mouseMessage));
  }
  void SystemResumed() override { calls.push_back("SystemResumed"); }
  void Form_Unload() override {
    calls.push_back("Form_Unload");
    if (closeOnUnload != nullptr) {
      closeOnUnload->Close();
    }
  }
};

class MainWindowViewTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(window.Create(events)); }
  void TearDown() override {
    window.Close();
    DrainQuit();
  }

  HWND Control(int id) const { return GetDlgItem(window.Handle(), id); }
  // Runs the pending messages (as the core's long operations do).
  void Pump() { pump.DoEvents(); }
  static bool DrainQuit() {
    MSG message;
    bool quit = false;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      quit = quit || message.message == WM_QUIT;
    }
    return quit;
  }

  hta::win32::MainWindow window{GetModuleHandleA(nullptr)};
  RecordingEvents events;
  hta::win32::Win32MessagePump pump{&window};
};

TEST_F(MainWindowViewTest, ButtonsReportClicksOnlyWhileEnabled) {
  SendMessageA(Control(IDC_CMDLOGIN), BM_CLICK, 0, 0);
  SendMessageA(Control(IDC_CMDEXIT), BM_CLICK, 0, 0);
  EXPECT_EQ(events.calls, (std::vector<std::string>{"cmdLogin_Click", "cmdExit_Click"}));

  window.SetButtonsEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(Control(IDC_CMDLOGIN)));
  EXPECT_FALSE(IsWindowEnabled(Control(IDC_CMDEXIT)));
  // What the dialog manager sends for Enter, default button disabled or not.
  SendMessageA(window.Handle(), WM_COMMAND, MAKEWPARAM(IDC_CMDLOGIN, BN_CLICKED),
               reinterpret_cast<LPARAM>(Control(IDC_CMDLOGIN)));
  EXPECT_EQ(events.calls.size(), 2u) << "no second login while the first runs";

  window.SetButtonsEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(Control(IDC_CMDLOGIN)));
  EXPECT_EQ(SendMessageA(window.Handle(), DM_GETDEFID, 0, 0), MAKELRESULT(IDC_CMDLOGIN, DC_HASDEFID));
}

TEST_F(MainWindowViewTest, TimerTicksArriveAsTimer1Timer) {
  window.ArmTimer(20);
  const ULONGLONG deadline = GetTickCount64() + kMessageTimeoutMs;
  while (events.calls.empty() && GetTickCount64() < deadline) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    Pump();
  }
  ASSERT_FALSE(events.calls.empty());
  EXPECT_EQ(events.calls.front(), "Timer1_Timer");
  window.ArmTimer(0);
}

TEST_F(MainWindowViewTest, ClosingAsksTheCoreAndCloseEndsTheLoop) {
  SendMessageA(window.Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(events.calls, std::vector<std::string>{"Form_Unload"});
  EXPECT_NE(window.Handle(), nullptr) << "the core decides; this core did not close";

  events.closeOnUnload = &window;
  SendMessageA(window.Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(window.Handle(), nullptr);
  EXPECT_TRUE(DrainQuit()) << "WM_QUIT was posted";

  // Every view method copes with the window being gone.
  window.SetStatusText("late");
  window.SetButtonsEnabled(false);
  window.ArmTimer(10);
  window.ShrinkToTray();
  window.BringToForeground();
  window.ShowTrayMenu();
  window.RemoveTrayIcon();
  EXPECT_EQ(window.UserText(), "");
  EXPECT_FALSE(window.RunChecked());
}

TEST(DialogsTest, ShowMessageShowsTheTextAsGivenAndReturnsWhenTheUserClosesTheBox) {
  HWND goneOwner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(goneOwner);
  // An owner that no longer exists must not make the box fail to appear.
  hta::win32::Win32Dialogs dialogs([goneOwner] { return goneOwner; });
  // Closed from another thread as a user would; when none appears, the box's
  // modal loop is ended with WM_QUIT instead, so the test fails rather than
  // hangs.
  std::vector<hta::wintest::MessageBoxSeen> seen;
  std::thread closer([&, owner = GetCurrentThreadId()] {
    if (WaitUntil([&] { return !(seen = hta::wintest::MessageBoxesOf(GetCurrentProcessId())).empty(); },
                  kMessageTimeoutMs)) {
      hta::wintest::DismissMessageBox(seen[0].window, kMessageTimeoutMs);
    } else {
      PostThreadMessageA(owner, WM_QUIT, 0, 0);
    }
  });
  // A server's text with printf directives is shown, never interpreted.
  dialogs.ShowMessage("Welcome %s %n", "HTA Launcher test box", hta::MessageIcon::Critical);
  closer.join();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, "HTA Launcher test box");
  EXPECT_EQ(seen[0].text, "Welcome %s %n");
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

}  // namespace
