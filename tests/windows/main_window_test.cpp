// Starts the real HtaLauncher.exe and looks at it from outside, as a user
// (or a screen reader) would: its window, its controls, its keyboard
// handling, its resources, and how it ends. Every wait has a deadline and the
// launcher is terminated whatever happens, so a broken build fails instead of
// hanging the suite.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
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
  // The launcher's visible window, or null (the test has failed then).
  HWND Start() {
    std::string error;
    if (!driver_.Start({"--bootstrap", server_->Url("/launcher/stay/exebootstrap.php")}, error)) {
      ADD_FAILURE() << error;
      return nullptr;
    }
    HWND main = driver_.WaitForVisibleMainWindow(kStartTimeoutMs);
    EXPECT_NE(main, nullptr) << "no window \"App Launcher\" appeared";
    return main;
  }

  // The control that has the keyboard focus in the launcher's GUI thread.
  static HWND Focus(HWND main) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) ? info.hwndFocus : nullptr;
  }

  void ExpectExitsWithZero() {
    const std::optional<DWORD> code = driver_.WaitForExit(kStepTimeoutMs);
    ASSERT_TRUE(code) << "the launcher did not end within " << kStepTimeoutMs << " ms";
    EXPECT_EQ(*code, 0u);
  }
};

// Waits until `condition` holds or the deadline passes.
template <typename Condition>
bool Eventually(Condition condition) {
  return hta::wintest::WaitUntil(condition, kMessageTimeoutMs);
}

TEST_F(MainWindowTest, ShowsTheControlsOfTheFormAndEndsOnExit) {
  HWND main = Start();
  ASSERT_NE(main, nullptr);

  // A fixed-size window: no sizing border, no maximise box.
  const LONG_PTR style = GetWindowLongPtrA(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_EQ(ClassOf(main), "HtaLauncherMainWindow");

  struct Expected {
    int id;
    const char* name;
    const char* windowClass;
    const char* text;
  };
  const Expected controls[] = {
      {IDC_LABEL1, "Label1", "Static", "User:"},
      {IDC_TXTNAME, "txtName", "Edit", ""},
      {IDC_CMDLOGIN, "cmdLogin", "Button", "&Reconnect"},
      {IDC_CMDEXIT, "cmdExit", "Button", "E&xit"},
      {IDC_CHKRUN, "chkRun", "Button", "&Run at Startup"},
      {IDC_LBLSTATUS, "lblStatus", "Static", ""},
      {IDC_LBLVERSION, "lblVersion", "Static", "version 3.0.4"},
      {IDC_LABEL2, "Label2", "Static", "VANO Launcher"},
      {IDC_IMAGE1, "Image1", "Static", ""},
  };
  for (const Expected& c : controls) {
    HWND control = GetDlgItem(main, c.id);
    ASSERT_NE(control, nullptr) << c.name << " is missing";
    EXPECT_EQ(ClassOf(control), c.windowClass) << c.name;
    EXPECT_EQ(WindowText(control), c.text) << c.name;
    EXPECT_TRUE(IsWindowVisible(control)) << c.name;
    RECT r{};
    GetClientRect(control, &r);
    EXPECT_GT(r.right, 0) << c.name << " has no width";
    EXPECT_GT(r.bottom, 0) << c.name << " has no height";
  }
  int children = 0;
  EnumChildWindows(
      main,
      [](HWND, LPARAM count) {
        ++*reinterpret_cast<int*>(count);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  EXPECT_EQ(children, 9) << "the window has exactly the controls of the form";

  auto buttonType = [&](int id) { return GetWindowLongPtrA(GetDlgItem(main, id), GWL_STYLE) & BS_TYPEMASK; };
  EXPECT_EQ(buttonType(IDC_CHKRUN), BS_AUTOCHECKBOX);
  EXPECT_EQ(buttonType(IDC_CMDEXIT), BS_PUSHBUTTON);
  EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(main, IDC_IMAGE1), GWL_STYLE) & SS_TYPEMASK, SS_OWNERDRAW);
  EXPECT_EQ(SendMessageA(GetDlgItem(main, IDC_CHKRUN), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  ASSERT_TRUE(PostMessageA(GetDlgItem(main, IDC_CMDEXIT), BM_CLICK, 0, 0));
  ExpectExitsWithZero();
}

TEST_F(MainWindowTest, AltXPressesExit) {
  HWND main = Start();
  ASSERT_NE(main, nullptr);
  // Alt+X as the keyboard delivers it once translated; the dialog manager
  // finds the control whose mnemonic it is.
  ASSERT_TRUE(PostMessageA(main, WM_SYSCHAR, 'x', LPARAM{1} << 29));
  ExpectExitsWithZero();
}

TEST_F(MainWindowTest, TabMovesThroughTheControlsInReadingOrder) {
  HWND main = Start();
  ASSERT_NE(main, nullptr);

  const HWND order[] = {GetDlgItem(main, IDC_TXTNAME), GetDlgItem(main, IDC_CHKRUN),
                        GetDlgItem(main, IDC_CMDLOGIN), GetDlgItem(main, IDC_CMDEXIT),
                        GetDlgItem(main, IDC_TXTNAME)};
  ASSERT_TRUE(Eventually([&] { return Focus(main) == order[0]; })) << "the user box starts with the focus";
  for (std::size_t i = 1; i < std::size(order); ++i) {
    HWND from = Focus(main);
    ASSERT_TRUE(PostMessageA(from, WM_KEYDOWN, VK_TAB, 1));
    EXPECT_TRUE(Eventually([&] { return Focus(main) == order[i]; })) << "Tab number " << i;
  }

  // Alt+R: the check box and "&Reconnect" share the letter, so the dialog
  // manager moves between them without pressing either; the box must not
  // change.
  ASSERT_TRUE(PostMessageA(main, WM_SYSCHAR, 'r', LPARAM{1} << 29));
  EXPECT_TRUE(Eventually([&] {
    HWND f = Focus(main);
    return f == GetDlgItem(main, IDC_CHKRUN) || f == GetDlgItem(main, IDC_CMDLOGIN);
  }));

  // The window's Close (the system menu, the caption's cross) ends the
  // program as E&xit does.
  ASSERT_TRUE(PostMessageA(main, WM_CLOSE, 0, 0));
  ExpectExitsWithZero();
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

TEST(LauncherResourcesTest, VersionSays304) {
  const std::string path = hta::wintest::LauncherExePath();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u) << path;
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 3));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 4));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 3));
  EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(0, 4));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  auto text = [&](const char* name) {
    std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
    char* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) ||
        value == nullptr) {
      return std::string("<missing>");
    }
    return std::string(value);
  };
  EXPECT_EQ(text("ProductName"), "HTA Launcher");
  EXPECT_EQ(text("ProductVersion"), "3.0.4");
  EXPECT_EQ(text("FileVersion"), "3.0.4");
  EXPECT_EQ(text("OriginalFilename"), "HtaLauncher.exe");
  EXPECT_NE(text("FileDescription"), "<missing>");
}

TEST(LauncherResourcesTest, CarryTheArtworkAndManifest) {
  const hta::win32::OwnedModule exe = hta::win32::LoadDataModule(hta::wintest::LauncherExePath().c_str());
  ASSERT_NE(exe.get(), nullptr);

  auto bitmapHeader = [&](int id) {
    std::string data = ResourceBytes(exe.get(), RT_BITMAP, id);
    BITMAPINFOHEADER header{};
    if (data.size() >= sizeof header) {
      CopyMemory(&header, data.data(), sizeof header);
    }
    return header;
  };
  const BITMAPINFOHEADER popup = bitmapHeader(IDB_POPUP_BACKGROUND);
  EXPECT_EQ(popup.biWidth, 320);
  EXPECT_EQ(popup.biHeight, 176);
  EXPECT_EQ(popup.biBitCount, 8) << "256 colours";
  const BITMAPINFOHEADER logo = bitmapHeader(IDB_LOGO);
  EXPECT_GT(logo.biWidth, 0);
  EXPECT_EQ(logo.biBitCount, 32);

  // The icon group holds at least the 16, 32 and 48 pixel images.
  std::string group = ResourceBytes(exe.get(), RT_GROUP_ICON, IDI_APP);
  ASSERT_GE(group.size(), 6u);
  const int count = static_cast<unsigned char>(group[4]) | static_cast<unsigned char>(group[5]) << 8;
  std::vector<int> sizes;
  for (int i = 0; i < count && 6 + 14 * (i + 1) <= static_cast<int>(group.size()); ++i) {
    sizes.push_back(static_cast<unsigned char>(group[6 + 14 * i]));
  }
  for (int wanted : {16, 32, 48}) {
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), wanted), sizes.end()) << wanted << " pixel icon";
  }

  const std::string manifest = ResourceBytes(exe.get(), RT_MANIFEST, 1);
  EXPECT_NE(manifest.find("asInvoker"), std::string::npos);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(manifest.find("true/pm"), std::string::npos);
  EXPECT_NE(manifest.find("supportedOS"), std::string::npos);
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
  std::string Text(int id) const {
    char text[256] = {};
    GetWindowTextA(Control(id), text, sizeof text);
    return text;
  }
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

TEST_F(MainWindowViewTest, SettersShowTheirTextsAtOnce) {
  window.SetVersionText("version 3.0.4");
  window.SetStatusText("Connecting & logging in...");
  window.SetUserText("jdoe");
  EXPECT_EQ(Text(IDC_LBLVERSION), "version 3.0.4");
  EXPECT_EQ(Text(IDC_LBLSTATUS), "Connecting & logging in...");
  EXPECT_EQ(window.UserText(), "jdoe");
  SetWindowTextA(Control(IDC_TXTNAME), "typed by the user");
  EXPECT_EQ(window.UserText(), "typed by the user");
  EXPECT_TRUE(events.calls.empty());
}

TEST_F(MainWindowViewTest, SetRunCheckedRaisesNoClick) {
  window.SetRunChecked(true);
  Pump();
  EXPECT_TRUE(window.RunChecked());
  window.SetRunChecked(false);
  Pump();
  EXPECT_FALSE(window.RunChecked());
  EXPECT_TRUE(events.calls.empty());

  SendMessageA(Control(IDC_CHKRUN), BM_CLICK, 0, 0);
  EXPECT_TRUE(window.RunChecked());
  EXPECT_EQ(events.calls, std::vector<std::string>{"chkRun_Click"});
}

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

TEST_F(MainWindowViewTest, TrayNotificationsCarryTheMouseMessage) {
  SendMessageA(window.Handle(), hta::win32::MainWindow::kTrayMessage, 1, WM_RBUTTONUP);
  SendMessageA(window.Handle(), hta::win32::MainWindow::kTrayMessage, 1, WM_LBUTTONUP);
  EXPECT_EQ(events.calls, (std::vector<std::string>{"TrayNotification 517", "TrayNotification 514"}));
}

TEST_F(MainWindowViewTest, TrayMenuModelKeepsEntriesAndCheck) {
  EXPECT_TRUE(window.ShowPopupsChecked());
  window.SetShowPopupsChecked(false);
  EXPECT_FALSE(window.ShowPopupsChecked());
  window.SetAppEntry(3, "Orders", true);
  window.SetAppEntry(0, "ignored", true);
  window.SetAppEntry(11, "ignored", true);
  EXPECT_TRUE(events.calls.empty());
}

TEST_F(MainWindowViewTest, ShrinkToTrayHidesTheWindowAndRemoveTrayIconIsHarmless) {
  window.RemoveTrayIcon();  // none added yet
  window.Show(SW_SHOWNORMAL);
  window.ShrinkToTray();
  EXPECT_FALSE(IsWindowVisible(window.Handle()));
  window.RemoveTrayIcon();
  window.RemoveTrayIcon();
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
  EXPECT_EQ(window.UserText(), "");
  EXPECT_FALSE(window.RunChecked());
}

// Closes the first message box with `caption` that appears within the
// deadline, from another thread, as a user would. If none appears, it ends
// the box's modal loop with WM_QUIT instead, so the test fails rather than
// hangs.
class BoxCloser {
 public:
  explicit BoxCloser(std::string caption)
      : caption_(std::move(caption)), owner_(GetCurrentThreadId()), thread_([this] { Run(); }) {}
  ~BoxCloser() { thread_.join(); }
  bool closed() const { return closed_; }

 private:
  void Run() {
    const ULONGLONG deadline = GetTickCount64() + kMessageTimeoutMs;
    while (GetTickCount64() < deadline) {
      HWND box = FindWindowA("#32770", caption_.c_str());
      if (box != nullptr) {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        closed_ = true;
        return;
      }
      Sleep(20);
    }
    PostThreadMessageA(owner_, WM_QUIT, 0, 0);
  }

  std::string caption_;
  DWORD owner_;
  std::atomic<bool> closed_{false};
  std::thread thread_;
};

TEST(DialogsTest, ShowMessageReturnsWhenTheUserClosesTheBox) {
  HWND goneOwner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(goneOwner);
  // An owner that no longer exists must not make the box fail to appear.
  hta::win32::Win32Dialogs dialogs([goneOwner] { return goneOwner; });
  {
    BoxCloser closer("HTA Launcher test box");
    // A server's text with printf directives is shown, never interpreted.
    dialogs.ShowMessage("Welcome %s %n", "HTA Launcher test box", hta::MessageIcon::Critical);
    EXPECT_TRUE(closer.closed());
  }
  {
    BoxCloser closer("HTA Launcher plain box");
    dialogs.ShowMessage("Plain", "HTA Launcher plain box", hta::MessageIcon::None);
    EXPECT_TRUE(closer.closed());
  }
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

}  // namespace
