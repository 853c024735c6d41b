#include "soak.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "backoffice_client.h"
#include "launcher_driver.h"
#include "popup/popup_layout.h"
#include "win32/dpi.h"
#include "win32/main_window.h"
#include "win32/win32_headers.h"
#include "win32/win32_popup.h"

namespace hta::probe {

namespace {

using wintest::BackOffice;
using wintest::LoggedRequest;
using wintest::WaitUntil;

constexpr DWORD kStartTimeoutMs = 60000;
constexpr DWORD kStepTimeoutMs = 20000;
// How long a posted tick gets to show up as a list request before it is
// taken as skipped (a tick during a dispatch polls nothing) and posted again.
constexpr DWORD kTickAnswerMs = 3000;
constexpr int kTickAttempts = 10;
constexpr DWORD kCheckpointAckMs = 120000;
// The figures are taken after a few quiet seconds, when the last popup's
// fade and every transfer of the cycle are surely over.
constexpr DWORD kSettleMs = 3000;
constexpr int kPopupAlpha = 198;  // where the fade-in stops
constexpr std::size_t kPopupsPerList = 2;

BYTE AlphaOf(HWND window) {
  BYTE alpha = 0;
  DWORD flags = 0;
  COLORREF key = 0;
  return GetLayeredWindowAttributes(window, &key, &alpha, &flags) ? alpha : 0;
}

// The window and its descendants.
BOOL CALLBACK CountChild(HWND, LPARAM context) {
  ++*reinterpret_cast<int*>(context);
  return TRUE;
}

struct WindowCount {
  DWORD process = 0;
  int windows = 0;
};

BOOL CALLBACK CountTopLevel(HWND window, LPARAM context) {
  auto& count = *reinterpret_cast<WindowCount*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == count.process) {
    ++count.windows;
    EnumChildWindows(window, &CountChild, reinterpret_cast<LPARAM>(&count.windows));
  }
  return TRUE;
}

// Every window of the process, shown or hidden, top-level or child.
int WindowsOf(DWORD process) {
  WindowCount count{process, 0};
  EnumWindows(&CountTopLevel, reinterpret_cast<LPARAM>(&count));
  return count.windows;
}

class Soak {
 public:
  explicit Soak(std::string syncFolder) : syncFolder_(std::move(syncFolder)) {}

  int Run(long cycles);

 private:
  bool Start();
  bool Cycle(long cycle);
  bool TickUntilListRequested();
  bool ClosePopups(std::size_t atLeast);
  bool Checkpoint(long cycle);
  int LastSequence() const {
    const std::vector<LoggedRequest> all = server_->RequestsWith("");
    return all.empty() ? 0 : all.back().sequence;
  }
  bool Requested(const char* path) const { return !server_->RequestsWith(path, mark_).empty(); }
  bool Fail(long cycle, const std::string& what) const {
    std::printf("cycle %ld: %s\n", cycle, what.c_str());
    std::fflush(stdout);
    return false;
  }

  std::string syncFolder_;
  wintest::FirstRunRegistry registry_;
  wintest::FakeHtaAssociation association_;
  std::optional<BackOffice> server_;
  wintest::LauncherDriver driver_;
  std::string record_;
  std::size_t openedBefore_ = 0;  // the fake opener's runs before the first tick
  HWND main_ = nullptr;
  int mark_ = 0;
};

bool Soak::Start() {
  std::string error;
  server_ = BackOffice::Find("soak", error);
  if (!server_ || !association_.Ready() || !driver_.Ready()) {
    std::printf("cannot start: %s%s%s\n", error.c_str(), association_.Error().c_str(),
                driver_.Error().c_str());
    return false;
  }
  record_ = driver_.RecordFakeOpenerRuns();
  if (!driver_.Start({"--bootstrap", server_->Url("/exebootstrap.php")}, error)) {
    std::printf("the launcher could not be started: %s\n", error.c_str());
    return false;
  }
  if (!driver_.WaitForTray(kStartTimeoutMs) ||
      (main_ = driver_.WaitForMainWindow(kStepTimeoutMs)) == nullptr) {
    std::puts("the launcher did not go to the tray");
    return false;
  }
  openedBefore_ = wintest::FakeOpenerRuns(record_).size();
  return true;
}

// Posts the poll timer's tick until one of them asks for the action list.
bool Soak::TickUntilListRequested() {
  for (int attempt = 0; attempt < kTickAttempts; ++attempt) {
    PostMessageA(main_, WM_TIMER, win32::MainWindow::kTimer1Id, 0);
    if (WaitUntil([&] { return Requested("/actions.php"); }, kTickAnswerMs)) {
      return true;
    }
  }
  return false;
}

// Waits until at least `atLeast` popups are shown and every shown one is
// faded in, then clicks the "x" of each. The launcher's own the poll timer still
// runs (once a minute), so a poll of its own may add a list's popups to
// those of the posted tick: all of them are closed.
bool Soak::ClosePopups(std::size_t atLeast) {
  std::vector<HWND> popups;
  const bool shown = WaitUntil(
      [&] {
        popups = wintest::VisibleWindowsOf(driver_.ProcessId(), win32::Win32Popup::kClassName);
        return popups.size() >= atLeast &&
               std::all_of(popups.begin(), popups.end(), [](HWND p) { return AlphaOf(p) == kPopupAlpha; });
      },
      kStepTimeoutMs);
  if (!shown) {
    return false;
  }
  const PixelRect cross = ToPixels(kCloseTwips, static_cast<int>(win32::DpiFunctions().ForSystem()));
  const LPARAM where = MAKELPARAM((cross.left + cross.right) / 2, (cross.top + cross.bottom) / 2);
  for (HWND popup : popups) {
    PostMessageA(popup, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageA(popup, WM_LBUTTONUP, 0, where);
  }
  return WaitUntil([&] { return std::none_of(popups.begin(), popups.end(), IsWindow); }, kStepTimeoutMs);
}

// One poll: the list, the launched file fetched and opened, two popups
// shown and closed. Every step must be seen before the next tick.
bool Soak::Cycle(long cycle) {
  mark_ = LastSequence();
  if (!TickUntilListRequested()) {
    return Fail(cycle, "no tick asked for the action list");
  }
  if (!WaitUntil([&] { return Requested("/report.hta"); }, kStepTimeoutMs)) {
    return Fail(cycle, "the launched file was not fetched");
  }
  const auto opened = [&] {
    return wintest::FakeOpenerRuns(record_).size() >= openedBefore_ + static_cast<std::size_t>(cycle);
  };
  if (!WaitUntil(opened, kStepTimeoutMs)) {
    return Fail(cycle, "the launched file was not opened");
  }
  if (!ClosePopups(kPopupsPerList)) {
    return Fail(cycle, "the two popups did not appear or did not close by their \"x\"");
  }
  return true;
}

// Prints what only Windows can see, then waits until the script has read
// the process from Linux (it creates ack-CYCLE in the sync folder).
bool Soak::Checkpoint(long cycle) {
  Sleep(kSettleMs);
  if (!ClosePopups(0)) {
    return Fail(cycle, "the popups of the launcher's own poll did not close by their \"x\"");
  }
  const std::vector<std::string> files = driver_.AppFolderFiles();
  const auto temps = std::count_if(files.begin(), files.end(), [](const std::string& name) {
    return name.size() > 5 && name.compare(name.size() - 5, 5, ".temp") == 0;
  });
  std::printf("checkpoint %ld windows %d temps %ld\n", cycle, WindowsOf(driver_.ProcessId()),
              static_cast<long>(temps));
  std::fflush(stdout);
  const std::string ack = syncFolder_ + "\\ack-" + std::to_string(cycle);
  return WaitUntil([&] { return wintest::PathExists(ack); }, kCheckpointAckMs) ||
         Fail(cycle, "the script did not acknowledge the checkpoint");
}

int Soak::Run(long cycles) {
  if (!Start()) {
    return 1;
  }
  for (long cycle = 1; cycle <= cycles; ++cycle) {
    if (!Cycle(cycle)) {
      return 1;
    }
    if ((cycle == kFirstCheckpoint || cycle == cycles) && !Checkpoint(cycle)) {
      return 1;
    }
  }
  PostMessageA(main_, WM_CLOSE, 0, 0);
  if (!driver_.WaitForExit(kStepTimeoutMs)) {
    std::puts("the launcher did not end after WM_CLOSE");
    return 1;
  }
  std::printf("done %ld cycles\n", cycles);
  return 0;
}

}  // namespace

int RunSoak(long cycles, const std::string& syncFolder) {
  Soak soak(syncFolder);
  return soak.Run(cycles);
}

}  // namespace hta::probe
