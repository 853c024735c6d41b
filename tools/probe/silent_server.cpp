#include "silent_server.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "backoffice_client.h"
#include "launcher_driver.h"
#include "win32/main_window.h"
#include "win32/win32_headers.h"
#include "window_answers.h"

namespace hta::probe {
namespace {

using wintest::BackOffice;
using wintest::LauncherDriver;
using wintest::WaitUntil;
using ExitBy = LauncherDriver::ExitBy;

constexpr DWORD kStartTimeoutMs = 60000;
// Past the back office's 10 s of silence and WinINet's own 30 s limits, so
// that a launcher held by a silent server still gives a figure.
constexpr DWORD kStageTimeoutMs = 45000;

// One stage: the launcher starts on /bench/silent/NAME/exebootstrap.php;
// `silentPath` is the request the back office holds; `tick` says whether
// the stage comes with a poll in the tray (else it is part of the start-up);
// `doneFile` is the file in the application folder that shows the stage is
// over (none: the start-up's end in the tray shows it).
struct Stage {
  const char* name;
  const char* silentPath;
  bool tick;
  const char* doneFile;
};

constexpr Stage kStages[] = {
    {"bootstrap", "/bench/silent/bootstrap/exebootstrap.php", false, nullptr},
    {"login", "/bench/silent/login/login.php", false, nullptr},
    {"first-byte", "/bench/silent/first-byte/chime.wav", true, "chime.wav"},
    {"middle", "/bench/silent/middle/chime.wav", true, "chime.wav"},
    {"list", "/bench/silent/list/actions.php", true, "actions.xml"},
};

class SilentServer {
 public:
  explicit SilentServer(BackOffice server) : server_(std::move(server)) {}

  // The worst answer of the window while the stage ran; nullopt when the
  // stage did not run to its end.
  std::optional<wintest::WindowAnswers> Answers(const Stage& stage);
  // Milliseconds from Exit to the end of the process, Exit given while the
  // back office is silent; nullopt when the process did not end in time.
  std::optional<double> ExitTime(const Stage& stage);

 private:
  bool Start(LauncherDriver& driver, const Stage& stage);
  // Posts the poll timer's tick once the launcher sits in the tray.
  bool TickInTray(LauncherDriver& driver);
  bool StageOver(LauncherDriver& driver, const Stage& stage);
  int LastSequence() const {
    const auto all = server_.RequestsWith("");
    return all.empty() ? 0 : all.back().sequence;
  }

  BackOffice server_;
};

bool SilentServer::Start(LauncherDriver& driver, const Stage& stage) {
  std::string error = driver.Error();
  const std::string bootstrap = server_.Url(std::string("/bench/silent/") + stage.name + "/exebootstrap.php");
  if (!driver.Ready() || !driver.Start({"--bootstrap", bootstrap}, error)) {
    std::printf("  %s: the launcher could not be started: %s\n", stage.name, error.c_str());
    return false;
  }
  return true;
}

bool SilentServer::TickInTray(LauncherDriver& driver) {
  HWND window = driver.WaitForTray(kStageTimeoutMs) ? driver.WaitForMainWindow(kStartTimeoutMs) : nullptr;
  return window != nullptr && PostMessageA(window, WM_TIMER, win32::MainWindow::kTimer1Id, 0);
}

bool SilentServer::StageOver(LauncherDriver& driver, const Stage& stage) {
  if (stage.doneFile == nullptr) {
    return driver.WaitForTray(kStageTimeoutMs);
  }
  const std::string file = driver.AppFolder() + stage.doneFile;
  return WaitUntil([&] { return wintest::PathExists(file); }, kStageTimeoutMs);
}

std::optional<wintest::WindowAnswers> SilentServer::Answers(const Stage& stage) {
  LauncherDriver driver;
  if (!Start(driver, stage)) {
    return std::nullopt;
  }
  HWND window = driver.WaitForMainWindow(kStartTimeoutMs);
  if (window == nullptr) {
    std::printf("  %s: no main window\n", stage.name);
    return std::nullopt;
  }
  wintest::WindowAnswerWatch watch(window);
  if ((stage.tick && !TickInTray(driver)) || !StageOver(driver, stage)) {
    std::printf("  %s: the stage did not end\n", stage.name);
    return std::nullopt;
  }
  const wintest::WindowAnswers answers = watch.Stop();
  driver.TimeExit(ExitBy::WindowClose, kStageTimeoutMs);
  return answers;
}

std::optional<double> SilentServer::ExitTime(const Stage& stage) {
  LauncherDriver driver;
  const int mark = LastSequence();
  if (!Start(driver, stage) || (stage.tick && !TickInTray(driver))) {
    std::printf("  %s: the launcher did not get to the stage\n", stage.name);
    return std::nullopt;
  }
  if (!WaitUntil([&] { return !server_.RequestsWith(stage.silentPath, mark).empty(); }, kStageTimeoutMs)) {
    std::printf("  %s: the silent request never came\n", stage.name);
    return std::nullopt;
  }
  const std::optional<double> took =
      driver.TimeExit(stage.tick ? ExitBy::TrayMenu : ExitBy::WindowClose, kStageTimeoutMs);
  if (!took) {
    std::printf("  %s: the launcher did not end within %lu ms of Exit\n", stage.name, kStageTimeoutMs);
  }
  return took;
}

}  // namespace

int RunSilentServer() {
  std::string why;
  std::optional<BackOffice> server = BackOffice::Find("bench", why);
  if (!server) {
    std::printf("no back office: %s\n", why.c_str());
    return 1;
  }
  SilentServer bench(*server);
  wintest::WindowAnswers worst;
  double slowestExit = 0;
  for (const Stage& stage : kStages) {
    const std::optional<wintest::WindowAnswers> answers = bench.Answers(stage);
    const std::optional<double> exit = bench.ExitTime(stage);
    if (!answers || !exit) {
      return 1;
    }
    std::printf("  %s: worst answer %.0f ms over %d asks, Exit to the end %.0f ms\n", stage.name,
                answers->worstMs, answers->asks, *exit);
    worst.worstMs = std::max(worst.worstMs, answers->worstMs);
    worst.asks += answers->asks;
    slowestExit = std::max(slowestExit, *exit);
  }
  std::printf("window answer during a silent server: worst %.0f ms over %d asks\n", worst.worstMs,
              worst.asks);
  std::printf("Exit during a silent server: process ended after %.0f ms\n", slowestExit);
  return 0;
}

}  // namespace hta::probe
