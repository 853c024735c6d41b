// hta-probe: looks at a running HtaLauncher.exe from outside, for
// scripts/demo, scripts/bench, scripts/measure-idle and scripts/soak, with
// the end-to-end tests' driver code:
//
//   hta-probe wait-box SECONDS    waits for a message box of the launcher and
//                                 prints its caption and text
//   hta-probe dismiss-box         presses OK on the launcher's message box
//   hta-probe wait-tray SECONDS   waits until the launcher's window is in the
//                                 tray (minimised and hidden)
//   hta-probe close               closes the launcher's window (WM_CLOSE, as
//                                 the window's Close does)
//   hta-probe tick                runs the action poll now: the poll timer's tick,
//                                 instead of waiting up to a minute for it
//   hta-probe wait-window SECONDS waits until the launcher's window is on
//                                 screen with no message box over it and
//                                 prints its rectangle (as wait-popups)
//   hta-probe tray-menu SECONDS   right-clicks the tray icon (the shell's
//                                 notification, posted) and prints the
//                                 rectangle of the menu that opens
//   hta-probe end-menu            closes that menu (WM_CANCELMODE)
//   hta-probe wait-popups COUNT SECONDS
//                                 waits until COUNT popups of the launcher
//                                 are on screen and prints the rectangle
//                                 around them as WIDTHxHEIGHT+LEFT+TOP
//   hta-probe start-to-tray BOOTSTRAP_URL RUNS
//                                 scripts/bench's figure: starts a copy of
//                                 the launcher RUNS times (in folders of its
//                                 own, with --bootstrap BOOTSTRAP_URL), and
//                                 prints how long each took from its start to
//                                 the tray, next to a baseline measured in
//                                 the same run: a bare console program
//                                 (cmd /c exit) started and ended
//   hta-probe silent-server       scripts/bench's figures of the window's
//                                 answers and of Exit while the back office
//                                 is silent (see silent_server.h)
//   hta-probe second-start BOOTSTRAP_URL SYNC_FOLDER
//                                 scripts/fleet's driver: starts the launcher
//                                 twice in the same folders (the second start
//                                 finds the first one's files), each time
//                                 until the tray, then closes it; prints
//                                 "start N: to tray T ms", creates
//                                 SYNC_FOLDER\done-N and waits for the
//                                 script's SYNC_FOLDER\ack-N
//   hta-probe soak CYCLES SYNC_FOLDER
//                                 scripts/soak's driver: CYCLES polls of a
//                                 launcher of its own (see soak.h)
//
// Exit code 0 when it happened, 1 when not (at the deadline), 2 on a wrong
// command line.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launcher_driver.h"
#include "silent_server.h"
#include "soak.h"
#include "win32/main_window.h"
#include "win32/unique_handle.h"
#include "win32/wide_text.h"
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

// ImageMagick's crop geometry: WIDTHxHEIGHT+LEFT+TOP.
void PrintGeometry(const RECT& r) {
  std::printf("%ldx%ld+%ld+%ld\n", static_cast<long>(r.right - r.left), static_cast<long>(r.bottom - r.top),
              static_cast<long>(r.left), static_cast<long>(r.top));
}

// The window a popup menu of the launcher's process is drawn in.
struct MenuSeen {
  DWORD process = 0;
  HWND window = nullptr;
};

BOOL CALLBACK FindMenu(HWND window, LPARAM context) {
  auto& seen = *reinterpret_cast<MenuSeen*>(context);
  char name[16] = {};
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == seen.process && IsWindowVisible(window) &&
      GetClassNameA(window, name, static_cast<int>(sizeof name)) > 0 && std::string(name) == "#32768") {
    seen.window = window;
    return FALSE;
  }
  return TRUE;
}

HWND OpenMenu() {
  MenuSeen seen;
  seen.process = LauncherProcess();
  if (seen.process != 0) {
    EnumWindows(&FindMenu, reinterpret_cast<LPARAM>(&seen));
  }
  return seen.window;
}

DWORD Milliseconds(const char* seconds) {
  const long value = std::strtol(seconds, nullptr, 10);
  return value > 0 && value <= 600 ? static_cast<DWORD>(value) * 1000 : 10000;
}

// Milliseconds a bare console program takes to start and end.
double BareProcessMilliseconds() {
  LARGE_INTEGER frequency{}, start{}, end{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  DWORD exitCode = 0;
  hta::wintest::RunForOutput("cmd.exe /c exit", "", exitCode);
  QueryPerformanceCounter(&end);
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int StartToTray(const std::string& bootstrap, long runs) {
  std::vector<double> launcher;
  std::vector<double> baseline;
  for (long run = 1; run <= runs; ++run) {
    hta::wintest::LauncherDriver driver;
    std::string error = driver.Error();
    if (!driver.Ready() || !driver.Start({"--bootstrap", bootstrap}, error)) {
      std::printf("the launcher could not be started: %s\n", error.c_str());
      return 1;
    }
    double reached = 0;
    if (!driver.WaitForTray(30000, &reached)) {
      std::puts("the launcher did not go to the tray");
      return 1;
    }
    launcher.push_back(reached);
    if (HWND window = driver.WaitForMainWindow(5000)) {
      PostMessageA(window, WM_CLOSE, 0, 0);
    }
    driver.WaitForExit(10000);
    baseline.push_back(BareProcessMilliseconds());
    std::printf("  run %ld: start to tray %.0f ms, bare process %.0f ms\n", run, launcher.back(),
                baseline.back());
  }
  const double best = *std::min_element(launcher.begin(), launcher.end());
  const double bestBaseline = *std::min_element(baseline.begin(), baseline.end());
  std::printf("start to tray: best %.0f ms, median %.0f ms\n", best, Median(launcher));
  std::printf("bare process (cmd /c exit): best %.0f ms, median %.0f ms\n", bestBaseline, Median(baseline));
  std::printf("start to tray vs bare process: ratio %.1f\n", best / std::max(bestBaseline, 1.0));
  return 0;
}

// One start of `driver`'s launcher until the tray and its close; the time
// to the tray, or nullopt.
std::optional<double> StartUntilTray(hta::wintest::LauncherDriver& driver, const std::string& bootstrap) {
  std::string error = driver.Error();
  double reached = 0;
  if (!driver.Ready() || !driver.Start({"--bootstrap", bootstrap}, error) ||
      !driver.WaitForTray(120000, &reached)) {
    std::printf("the launcher did not go to the tray %s\n", error.c_str());
    return std::nullopt;
  }
  if (HWND window = driver.WaitForMainWindow(5000)) {
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  return driver.WaitForExit(10000) ? std::optional(reached) : std::nullopt;
}

int SecondStart(const std::vector<std::string>& args) {
  hta::wintest::LauncherDriver driver;
  for (int start = 1; start <= 2; ++start) {
    const std::optional<double> reached = StartUntilTray(driver, args[0]);
    if (!reached) {
      return 1;
    }
    std::printf("start %d: to tray %.0f ms\n", start, *reached);
    std::fflush(stdout);
    // The script reads the server's byte count between the starts.
    const std::string done = args[1] + "\\done-" + std::to_string(start);
    const std::string ack = args[1] + "\\ack-" + std::to_string(start);
    hta::win32::UniqueHandle marker(CreateFileW(hta::win32::FileCallPath(done).c_str(), GENERIC_WRITE, 0,
                                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!marker || !hta::wintest::WaitUntil([&] { return hta::wintest::PathExists(ack); }, 60000)) {
      std::puts("the script did not acknowledge the start");
      return 1;
    }
  }
  return 0;
}

int Usage() {
  std::fputs(
      "usage: hta-probe wait-box SECONDS | dismiss-box | wait-tray SECONDS | close | tick"
      " | wait-window SECONDS | tray-menu SECONDS | end-menu | wait-popups COUNT SECONDS | start-to-tray "
      "BOOTSTRAP_URL RUNS | silent-server | second-start BOOTSTRAP_URL SYNC_FOLDER | soak CYCLES "
      "SYNC_FOLDER\n",
      stderr);
  return 2;
}

// One function a command; each gets the command's own arguments (after its
// name) and returns the exit code.
using Command = int (*)(const std::vector<std::string>& args);

int WaitBox(const std::vector<std::string>& args) {
  std::optional<MessageBoxSeen> box;
  hta::wintest::WaitUntil([&] { return (box = FirstBox()).has_value(); }, Milliseconds(args[0].c_str()));
  if (!box) {
    std::puts("no message box appeared");
    return 1;
  }
  std::printf("message box \"%s\": %s\n", box->caption.c_str(), box->text.c_str());
  return 0;
}

int DismissBox(const std::vector<std::string>&) {
  const std::optional<MessageBoxSeen> box = FirstBox();
  return box && hta::wintest::DismissMessageBox(box->window, 10000) ? 0 : 1;
}

HWND MainWindowHandle() {
  return FindWindowA(hta::win32::MainWindow::kClassName, nullptr);
}

int WaitTray(const std::vector<std::string>& args) {
  const bool inTray = hta::wintest::WaitUntil(
      [] {
        HWND window = MainWindowHandle();
        return window != nullptr && !IsWindowVisible(window) && IsIconic(window);
      },
      Milliseconds(args[0].c_str()));
  std::puts(inTray ? "the launcher is in the tray" : "the launcher did not go to the tray");
  return inTray ? 0 : 1;
}

int Close(const std::vector<std::string>&) {
  HWND window = MainWindowHandle();
  return window != nullptr && PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
}

int Tick(const std::vector<std::string>&) {
  // A WM_TIMER without a timer procedure reaches the window procedure as
  // the timer's own tick does.
  HWND window = MainWindowHandle();
  return window != nullptr && PostMessageA(window, WM_TIMER, hta::win32::MainWindow::kTimer1Id, 0) ? 0 : 1;
}

int WaitPopups(const std::vector<std::string>& args) {
  const long wanted = std::strtol(args[0].c_str(), nullptr, 10);
  if (wanted < 1) {
    return Usage();
  }
  PopupsSeen seen;
  const bool shown = hta::wintest::WaitUntil([&] { return (seen = Popups()).count >= wanted; },
                                             Milliseconds(args[1].c_str()));
  if (!shown) {
    std::printf("%d popup(s) on screen, not %ld\n", seen.count, wanted);
    return 1;
  }
  PrintGeometry(seen.bounds);
  return 0;
}

int WaitWindow(const std::vector<std::string>& args) {
  HWND window = nullptr;
  const bool shown = hta::wintest::WaitUntil(
      [&] {
        window = MainWindowHandle();
        return window != nullptr && IsWindowVisible(window) && !IsIconic(window) && !FirstBox();
      },
      Milliseconds(args[0].c_str()));
  RECT r{};
  if (!shown || !GetWindowRect(window, &r)) {
    std::puts("the launcher's window is not on screen");
    return 1;
  }
  PrintGeometry(r);
  return 0;
}

int TrayMenu(const std::vector<std::string>& args) {
  // The icon's id is 1; lParam carries the mouse message, as the shell
  // sends it.
  HWND window = MainWindowHandle();
  HWND menu = nullptr;
  RECT r{};
  if (window == nullptr || !PostMessageA(window, hta::win32::MainWindow::kTrayMessage, 1, WM_RBUTTONUP) ||
      !hta::wintest::WaitUntil([&] { return (menu = OpenMenu()) != nullptr; },
                               Milliseconds(args[0].c_str())) ||
      !GetWindowRect(menu, &r)) {
    std::puts("no tray menu opened");
    return 1;
  }
  PrintGeometry(r);
  return 0;
}

int EndMenu(const std::vector<std::string>&) {
  HWND window = MainWindowHandle();
  DWORD_PTR result = 0;
  return window != nullptr &&
                 SendMessageTimeoutA(window, WM_CANCELMODE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0
             ? 0
             : 1;
}

int StartToTrayCommand(const std::vector<std::string>& args) {
  const long runs = std::strtol(args[1].c_str(), nullptr, 10);
  return runs < 1 ? Usage() : StartToTray(args[0], runs);
}

int SilentServer(const std::vector<std::string>&) {
  return hta::probe::RunSilentServer();
}

int Soak(const std::vector<std::string>& args) {
  const long cycles = std::strtol(args[0].c_str(), nullptr, 10);
  return cycles < 1 ? Usage() : hta::probe::RunSoak(cycles, args[1].c_str());
}

struct CommandEntry {
  const char* name;
  std::size_t arguments;
  Command run;
};

constexpr CommandEntry kCommands[] = {
    {"wait-box", 1, WaitBox},
    {"dismiss-box", 0, DismissBox},
    {"wait-tray", 1, WaitTray},
    {"close", 0, Close},
    {"tick", 0, Tick},
    {"wait-popups", 2, WaitPopups},
    {"wait-window", 1, WaitWindow},
    {"tray-menu", 1, TrayMenu},
    {"end-menu", 0, EndMenu},
    {"start-to-tray", 2, StartToTrayCommand},
    {"silent-server", 0, SilentServer},
    {"second-start", 2, SecondStart},
    {"soak", 2, Soak},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return Usage();
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const CommandEntry& command : kCommands) {
    if (std::string_view(argv[1]) == command.name && args.size() == command.arguments) {
      return command.run(args);
    }
  }
  return Usage();
}
