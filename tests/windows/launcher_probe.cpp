// hta-probe: looks at a running HtaLauncher.exe from outside, for
// scripts/demo, with the end-to-end tests' driver code:
//
//   hta-probe wait-box SECONDS    waits for a message box of the launcher and
//                                 prints its caption and text
//   hta-probe dismiss-box         presses OK on the launcher's message box
//   hta-probe wait-tray SECONDS   waits until the launcher's window is in the
//                                 tray (minimised and hidden)
//   hta-probe close               closes the launcher's window (WM_CLOSE, as
//                                 the window's Close does)
//   hta-probe tick                runs the action poll now: Timer1's tick,
//                                 instead of waiting up to a minute for it
//   hta-probe wait-popups COUNT SECONDS
//                                 waits until COUNT popups of the launcher
//                                 are on screen and prints the rectangle
//                                 around them as WIDTHxHEIGHT+LEFT+TOP
//
// Exit code 0 when it happened, 1 when not (at the deadline), 2 on a wrong
// command line.

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "launcher_driver.h"
#include "win32/main_window.h"
#include "win32/win32_headers.h"
#include "win32/win32_popup.h"

namespace {

using hta::wintest::MessageBoxSeen;

// The process of the launcher's main window (there is one copy per session).
DWORD LauncherProcess() {
  HWND window = FindWindowA("HtaLauncherMainWindow", nullptr);
  DWORD owner = 0;
  if (window != nullptr) {
    GetWindowThreadProcessId(window, &owner);
  }
  return owner;
}

std::optional<MessageBoxSeen> FirstBox() {
  const DWORD process = LauncherProcess();
  if (process == 0) {
    return std::nullopt;
  }
  std::vector<MessageBoxSeen> boxes = hta::wintest::MessageBoxesOf(process);
  if (boxes.empty()) {
    return std::nullopt;
  }
  return boxes.front();
}

// The launcher's popups on screen, and the rectangle around them.
struct PopupsSeen {
  DWORD process = 0;
  int count = 0;
  RECT bounds{};
};

BOOL CALLBACK CollectPopup(HWND window, LPARAM context) {
  auto& seen = *reinterpret_cast<PopupsSeen*>(context);
  char name[64] = {};
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  RECT r{};
  if (owner == seen.process && IsWindowVisible(window) &&
      GetClassNameA(window, name, static_cast<int>(sizeof name)) > 0 &&
      std::string(name) == hta::win32::Win32Popup::kClassName && GetWindowRect(window, &r)) {
    if (seen.count++ == 0) {
      seen.bounds = r;
    } else {
      UnionRect(&seen.bounds, &seen.bounds, &r);
    }
  }
  return TRUE;
}

PopupsSeen Popups() {
  PopupsSeen seen;
  seen.process = LauncherProcess();
  if (seen.process != 0) {
    EnumWindows(&CollectPopup, reinterpret_cast<LPARAM>(&seen));
  }
  return seen;
}

DWORD Milliseconds(const char* seconds) {
  const long value = std::strtol(seconds, nullptr, 10);
  return value > 0 && value <= 600 ? static_cast<DWORD>(value) * 1000 : 10000;
}

int Usage() {
  std::fputs(
      "usage: hta-probe wait-box SECONDS | dismiss-box | wait-tray SECONDS | close | tick"
      " | wait-popups COUNT SECONDS\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return Usage();
  }
  const std::string command = argv[1];
  if (command == "wait-box" && argc == 3) {
    std::optional<MessageBoxSeen> box;
    hta::wintest::WaitUntil([&] { return (box = FirstBox()).has_value(); }, Milliseconds(argv[2]));
    if (!box) {
      std::puts("no message box appeared");
      return 1;
    }
    std::printf("message box \"%s\": %s\n", box->caption.c_str(), box->text.c_str());
    return 0;
  }
  if (command == "dismiss-box" && argc == 2) {
    const std::optional<MessageBoxSeen> box = FirstBox();
    return box && hta::wintest::DismissMessageBox(box->window, 10000) ? 0 : 1;
  }
  if (command == "wait-tray" && argc == 3) {
    const bool inTray = hta::wintest::WaitUntil(
        [] {
          HWND window = FindWindowA("HtaLauncherMainWindow", nullptr);
          return window != nullptr && !IsWindowVisible(window) && IsIconic(window);
        },
        Milliseconds(argv[2]));
    std::puts(inTray ? "the launcher is in the tray" : "the launcher did not go to the tray");
    return inTray ? 0 : 1;
  }
  if (command == "close" && argc == 2) {
    HWND window = FindWindowA("HtaLauncherMainWindow", nullptr);
    return window != nullptr && PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (command == "tick" && argc == 2) {
    // A WM_TIMER without a timer procedure reaches the window procedure as
    // the timer's own tick does.
    HWND window = FindWindowA(hta::win32::MainWindow::kClassName, nullptr);
    return window != nullptr && PostMessageA(window, WM_TIMER, hta::win32::MainWindow::kTimer1Id, 0) ? 0 : 1;
  }
  if (command == "wait-popups" && argc == 4) {
    const long wanted = std::strtol(argv[2], nullptr, 10);
    if (wanted < 1) {
      return Usage();
    }
    PopupsSeen seen;
    const bool shown =
        hta::wintest::WaitUntil([&] { return (seen = Popups()).count >= wanted; }, Milliseconds(argv[3]));
    if (!shown) {
      std::printf("%d popup(s) on screen, not %ld\n", seen.count, wanted);
      return 1;
    }
    const RECT& b = seen.bounds;
    std::printf("%ldx%ld+%ld+%ld\n", static_cast<long>(b.right - b.left), static_cast<long>(b.bottom - b.top),
                static_cast<long>(b.left), static_cast<long>(b.top));
    return 0;
  }
  return Usage();
}
