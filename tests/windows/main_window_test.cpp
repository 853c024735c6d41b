// The program's resources, then the window in this process and the message
// box, for what the real program (launcher_e2e_test.cpp: its window, keyboard
// and end) cannot be made to show: a click on a disabled button, the timer,
// a close the core refuses, calls after the end, a gone owner and a text
// with printf directives.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "launcher_driver.h"
#include "win32/handles.h"
#include "win32/main_window.h"
#include "win32/resource_ids.h"
#include "win32/unique_handle.h"
#include "win32/win32_dialogs.h"
#include "win32/win32_headers.h"
#include "win32/win32_message_pump.h"

namespace {

constexpr DWORD kMessageTimeoutMs = 5000;

using hta::wintest::WaitUntil;

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

TEST(LauncherResourcesTest, TheProgramFileCarriesItsResources) {
  const std::string path = hta::wintest::LauncherExePath();
  DWORD ignored = 0;
  std::vector<char> block(GetFileVersionInfoSizeA(path.c_str(), &ignored));
  ASSERT_FALSE(block.empty()) << path;
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  char* product = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\ProductVersion",
                             reinterpret_cast<void**>(&product), &length));
  EXPECT_STREQ(product, HTA_VERSION_TEXT);

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
// events object: what the core will see (the tray's and the menu's events are
// shown by the real program, tray_e2e_test.cpp).
class RecordingEvents final : public hta::MainWindowEvents {
 public:
  std::vector<std::string> calls;
  hta::MainWindowView* closeOnUnload = nullptr;

  void ReconnectClicked() override { calls.push_back("ReconnectClicked"); }
  void ExitClicked() override { calls.push_back("ExitClicked"); }
  void RunAtStartupClicked() override {}
  void MenuEntryChosen(int) override {}
  void ShowPopupsChosen() override {}
  void ExitChosen() override {}
  void PollTimerTick() override { calls.push_back("PollTimerTick"); }
  void TrayNotification(unsigned) override {}
  void SystemResumed() override {}
  void Shutdown() override {
    calls.push_back("Shutdown");
    if (closeOnUnload != nullptr) {
      closeOnUnload->Close();
    }
  }
};

// Buttons report clicks only while enabled (what the dialog manager sends
// for Enter, default button disabled or not, included); the armed timer
// ticks as PollTimerTick; a close asks the core, which decides; Close ends the
// loop, and every view method copes with the window being gone.
TEST(MainWindowViewTest, TheWindowsInputReachesTheCoreAsItAllows) {
  hta::win32::MainWindow window{GetModuleHandleA(nullptr)};
  RecordingEvents events;
  hta::win32::Win32MessagePump pump{&window};
  ASSERT_TRUE(window.Create(events));
  const auto control = [&](int id) { return GetDlgItem(window.Handle(), id); };
  SendMessageA(control(IDC_RECONNECT), BM_CLICK, 0, 0);
  SendMessageA(control(IDC_EXIT), BM_CLICK, 0, 0);
  window.SetButtonsEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(control(IDC_EXIT)));
  SendMessageA(window.Handle(), WM_COMMAND, MAKEWPARAM(IDC_RECONNECT, BN_CLICKED),
               reinterpret_cast<LPARAM>(control(IDC_RECONNECT)));
  window.SetButtonsEnabled(true);
  EXPECT_EQ(SendMessageA(window.Handle(), DM_GETDEFID, 0, 0), MAKELRESULT(IDC_RECONNECT, DC_HASDEFID));
  window.ArmTimer(20);
  EXPECT_TRUE(WaitUntil(
      [&] {
        pump.DoEvents();
        return events.calls.size() > 2;
      },
      kMessageTimeoutMs));
  window.ArmTimer(0);
  EXPECT_EQ(events.calls, (std::vector<std::string>{"ReconnectClicked", "ExitClicked", "PollTimerTick"}));

  events.calls.clear();
  SendMessageA(window.Handle(), WM_CLOSE, 0, 0);
  EXPECT_NE(window.Handle(), nullptr) << "the core decides; this core did not close";
  events.closeOnUnload = &window;
  SendMessageA(window.Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(events.calls, (std::vector<std::string>{"Shutdown", "Shutdown"}));
  EXPECT_EQ(window.Handle(), nullptr);
  MSG message;
  bool quit = false;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    quit = quit || message.message == WM_QUIT;
  }
  EXPECT_TRUE(quit) << "WM_QUIT was posted";
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

TEST(DialogsTest, ShowMessageShowsTheTextAsGivenUntilTheBoxIsClosed) {
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
}

}  // namespace
