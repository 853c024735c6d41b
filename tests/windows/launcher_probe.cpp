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
//
// Exit code 0 when it happened, 1 when not (at the deadline), 2 on a wrong
// command line.

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "launcher_driver.h"
#include "win32/win32_headers.h"

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

DWORD Milliseconds(const char* seconds) {
  const long value = std::strtol(seconds, nullptr, 10);
  return value > 0 && value <= 600 ? static_cast<DWORD>(value) * 1000 : 10000;
}

int Usage() {
  std::fputs("usage: hta-probe wait-box SECONDS | dismiss-box | wait-tray SECONDS | close\n", stderr);
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
  return Usage();
}
