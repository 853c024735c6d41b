#pragma once

// Drives the real HtaLauncher.exe from outside, as a user would see it: its
// main window and controls, its message boxes (text read from the box's own
// window, dismissed with its OK button), the tray, its exit code, the files
// it writes and the registry values it leaves.
//
// Every launcher runs in a world of its own: a copy of the program in a
// fresh folder (so its INI file is the test's), and an environment whose TEMP
// and TMP name another fresh folder (so its application folder, "hta" in
// that TEMP, is the test's). Paths are UTF-8 and go through the wide calls,
// as the program's own do, so its folders may be named in any script. The driver always ends the process and
// removes both folders; every wait has a deadline, so a broken program fails a test and never hangs the
// suite.
//
// No GoogleTest in here: the demo's probe program uses the same code.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "stopwatch.h"
#include "win32/unique_handle.h"
#include "win32/win32_headers.h"

namespace hta::wintest {

// The program as the build placed it, and the administrators' tool, as
// Windows paths (the build knows them by their Unix paths, which Wine shows
// as drive Z:). Empty when the build did not say.
std::string LauncherExePath();
std::string ProxyPassExePath();
std::string FakeOpenerExePath();

// The one lock of every test that starts the real program. The program
// allows one copy per session, and CTest runs tests in parallel processes:
// without the lock two tests' launchers would meet, and the second would end
// as a second copy. Held from construction to destruction; a lock left by a
// test process that died is taken over (WAIT_ABANDONED).
class RealLauncherLock {
 public:
  explicit RealLauncherLock(DWORD timeoutMs = 240000);
  ~RealLauncherLock();
  bool held() const { return held_; }

 private:
  win32::UniqueHandle mutex_;
  bool held_ = false;
};

// A message box as its window shows it.
struct MessageBoxSeen {
  HWND window = nullptr;
  std::string caption;
  std::string text;
};

// The visible top-level windows of class `className` of a process.
std::vector<HWND> VisibleWindowsOf(DWORD processId, const char* className);
// The visible message boxes (dialog class "#32770") of a process.
std::vector<MessageBoxSeen> MessageBoxesOf(DWORD processId);
// Presses the box's OK button (a WM_COMMAND from the button, as a click
// sends) and waits until the box is gone.
bool DismissMessageBox(HWND box, DWORD timeoutMs);

// The launcher's main window (class "HtaLauncherMainWindow") of a process,
// shown or not; null when there is none.
HWND MainWindowOf(DWORD processId);
// A control's text, asked across processes with a deadline.
std::string WindowText(HWND window);

// The middle of a rectangle (RECT, or a layout's pixel rectangle).
template <typename Rect>
POINT CentreOf(const Rect& r) {
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}
// A left click at `at` in the window's client area, posted as the mouse
// sends it (button down, button up).
void PostClick(HWND window, POINT at);

// Waits until `condition()` holds, polling every 10 ms; false at the
// deadline.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) {
      return true;
    }
    if (GetTickCount64() >= deadline) {
      return false;
    }
    Sleep(10);
  }
}

// One registry value under HKEY_CURRENT_USER, saved when the object is made
// and put back (or removed, if there was none) when it goes; in between a
// test may set or delete it freely.
class SavedRegistryValue {
 public:
  SavedRegistryValue(std::string subKey, std::string name);
  ~SavedRegistryValue();
  SavedRegistryValue(const SavedRegistryValue&) = delete;
  SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

 private:
  std::string subKey_;
  std::string name_;
  bool existed_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> data_;
};

// The registry values the program reads and writes, as on its first run on
// a machine, for as long as the object lives: the stored user string and
// popup choice, the boot parameters and the Run value "HtaLauncher" are
// saved and removed when it is made, and put back when it goes (the
// settings key too is removed then if it did not exist before).
class FirstRunRegistry {
 public:
  static constexpr const char* kSettingsRoot = "Software\\HTA_Launcher";
  static constexpr const char* kUserKey = "Software\\HTA_Launcher\\user";
  static constexpr const char* kSettingsKey = "Software\\HTA_Launcher\\settings";
  static constexpr const char* kBootParamsKey = "Software\\VANO\\VANO.exe";
  static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  static constexpr const char* kRunValue = "HtaLauncher";  // the program's name without ".exe"

  FirstRunRegistry();
  ~FirstRunRegistry();

 private:
  bool hadSettings_;
  SavedRegistryValue user_{kUserKey, "user"};
  SavedRegistryValue popups_{kSettingsKey, "showPopups"};
  SavedRegistryValue bootParams_{kBootParamsKey, "BootParams"};
  SavedRegistryValue run_{kRunKey, kRunValue};
};

bool SetRegistryString(const std::string& subKey, const std::string& name, const std::string& value);
// The same through the wide calls, for a text in UTF-8 (a path).
bool SetRegistryWideString(const std::string& subKey, const std::string& name, const std::string& value);
bool SetRegistryDword(const std::string& subKey, const std::string& name, DWORD value);
// The value's text (REG_SZ, without its NUL); nullopt when missing or not a
// text.
std::optional<std::string> RegistryString(const std::string& subKey, const std::string& name);
// The same through the wide calls, as UTF-8.
std::optional<std::string> RegistryWideString(const std::string& subKey, const std::string& name);
void DeleteRegistryValue(const std::string& subKey, const std::string& name);

// Runs a console program with `input` as its standard input and returns what
// it wrote to standard output; nullopt when it could not be started or did
// not end in time (it is then killed).
std::optional<std::string> RunForOutput(const std::string& commandLine, const std::string& input,
                                        DWORD& exitCode, DWORD timeoutMs = 20000);

// Whether a file or folder is at `path`.
bool PathExists(const std::string& path);

// Removes a folder (its path ending in a backslash) and everything in it.
// Links inside (junctions, symbolic
// links) are removed as links and never followed, so the removal cannot
// reach outside the folder.
void RemoveFolderTree(const std::string& folder);

// A fresh folder under TEMP, named after `stem`, removed with everything in
// it when the object goes. path() ends in a backslash; empty when the folder
// could not be made.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& stem);
  ~ScratchFolder() { RemoveFolderTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A file's bytes, or nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// --- What the launcher opens through the shell.
//
// Wine knows no program for ".hta" files (ShellExecute returns 31, "no
// association"), so a test that wants to see the launcher open one registers
// hta-fake-opener.exe for them. The opener appends one line per start to the
// file named by HTA_FAKE_OPENER_RECORD in its environment, which it inherits
// from the launcher, which gets it from the driver (RecordFakeOpenerRuns).

inline constexpr const char* kFakeOpenerRecordVariable = "HTA_FAKE_OPENER_RECORD";

// One start of the fake opener, as it saw itself.
struct FakeOpenerRun {
  std::string commandLine;    // GetCommandLineW, in UTF-8
  std::string currentFolder;  // GetCurrentDirectoryW, in UTF-8
};
// The starts in a record file, in order; empty when there is none.
std::vector<FakeOpenerRun> FakeOpenerRuns(const std::string& recordPath);

// ".hta" opens with the fake opener for as long as the object lives:
//   HKCR\.hta                                  (default) kProgId
//   HKCR\HtaLauncher.TestHta\shell\open\command (default) "<opener>" "%1" %*
// Under HKCR because Wine's ShellExecute looks nowhere else (not in
// HKCU\Software\Classes). Wine replaces %1 with the file as given (the
// quotes around it are the command's) and %* with the parameters string
// exactly as given, neither quoted nor split; %2..%9 would be the
// parameters' blank-separated words one by one (quotes kept, missing ones
// empty), and a command without %* drops the parameters altogether.
//
// Both keys are removed again when the object goes, whatever the test's
// outcome. A ".hta" of someone else (a real machine's association) is never
// touched: Ready() is then false. One left by a killed test (its value is
// kProgId) is taken over. Tests that use it hold RealLauncherLock, so no
// other launcher opens files meanwhile.
class FakeHtaAssociation {
 public:
  static constexpr const char* kExtensionKey = ".hta";
  static constexpr const char* kProgId = "HtaLauncher.TestHta";
  static constexpr const char* kCommandKey = "HtaLauncher.TestHta\\shell\\open\\command";

  FakeHtaAssociation();
  ~FakeHtaAssociation();
  FakeHtaAssociation(const FakeHtaAssociation&) = delete;
  FakeHtaAssociation& operator=(const FakeHtaAssociation&) = delete;

  bool Ready() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

 private:
  std::string error_;
  bool ownsExtension_ = false;
};

// One launcher with folders of its own.
class LauncherDriver {
 public:
  // Makes the folders and copies the program into the first of them; see
  // Ready(). With `exePath` the copy goes there instead (a drive's root,
  // say) and is deleted again at the end; an existing file is never
  // overwritten.
  explicit LauncherDriver(std::string exePath = {});
  // Ends the launcher if it still runs and removes the folders.
  ~LauncherDriver();

  // The folders were made and the program copied; otherwise Error() says why.
  bool Ready() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

  // The program's copy and its INI file.
  const std::string& ExePath() const { return exePath_; }
  std::string IniPath() const { return exeFolder_ + "HtaLauncher.ini"; }
  // The launcher's application folder, "hta" in its TEMP.
  std::string AppFolder() const { return tempFolder_ + "hta\\"; }
  // The launcher's log: its LOCALAPPDATA is the driver's own TEMP folder.
  std::string LogPath() const { return localAppData_ + "HTA Launcher\\Logs\\launcher.log"; }
  // From the next Start on, TEMP and TMP name `folder` (ending in a
  // backslash), which the caller made and removes; LOCALAPPDATA stays.
  void UseTempFolder(std::string folder) { tempFolder_ = std::move(folder); }
  // The names in the application folder, sorted; empty when it is missing.
  std::vector<std::string> AppFolderFiles() const;

  // From the next Start on, the launcher's environment names a record file
  // for the fake opener (kFakeOpenerRecordVariable), in the driver's own
  // folders; returns its path. Read it with FakeOpenerRuns.
  std::string RecordFakeOpenerRuns();

  // Puts a DLL of each name (winmm, wininet) beside the copy; if loaded, it
  // leaves a marker beside itself and refuses to load (planted_dll.cpp).
  // Windows looks in the program's folder first for DLLs that are not
  // KnownDLLs; Wine only for those it is told to prefer natively, so for as
  // long as the driver lives the copy's DllOverrides (Wine's per-program
  // form of WINEDLLOVERRIDES "NAME=n,b") name them. False when a DLL could
  // not be placed.
  bool PlantDlls(const std::vector<std::string>& names);
  // The planted DLLs that were loaded, as their file names.
  std::vector<std::string> LoadedPlantedDlls() const;

  // Starts the copy with `arguments` (each quoted on the command line; none
  // may hold a quote or end in a backslash).
  // False with `error` set when CreateProcessW failed or a launcher of this
  // driver already runs.
  bool Start(const std::vector<std::string>& arguments, std::string& error);
  // The same with a whole command line (UTF-8), as the Run value holds one.
  bool StartCommandLine(const std::string& commandLine, std::string& error);

  DWORD ProcessId() const { return processId_; }
  bool Running() const;
  // The exit code once the process has ended, or nullopt at the deadline.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs);
  // Ends the process at once (if it runs) and waits for it.
  void Kill();

  // Milliseconds since CreateProcessW returned.
  double MillisecondsSinceStart() const;

  // The main window once it exists (and, with `visible`, is shown); null at
  // the deadline or when the process ended first.
  HWND WaitForMainWindow(DWORD timeoutMs, bool visible = false);
  // True once the main window is in the tray: minimised and hidden, and
  // still so 150 ms later. (Minimising a hidden window passes through
  // "minimised, not yet shown" on its way to "minimised and shown", and
  // another process can catch that moment.) `reachedMs`, when given, gets
  // the time since the start at which the lasting tray state was first seen.
  bool WaitForTray(DWORD timeoutMs, double* reachedMs = nullptr);
  // The first message box of the launcher; nullopt at the deadline or when
  // the process ended first.
  std::optional<MessageBoxSeen> WaitForMessageBox(DWORD timeoutMs);
  // The launcher's message boxes now.
  std::vector<MessageBoxSeen> MessageBoxes() const { return MessageBoxesOf(processId_); }

  // Shows the tray icon's menu by a right click on the icon (the shell's
  // notification, posted to the main window) and types a key into it once
  // it is open (its loop reads the thread's keyboard messages whichever of
  // its windows they are posted to); true once the menu has closed again.
  // Each of the two waits has `timeoutMs`.
  bool ChooseFromTrayMenu(UINT message, WPARAM key, DWORD timeoutMs);

  // The ways a user ends the launcher: "E&xit" in the tray icon's menu (the
  // program in the tray), or the main window's Close (WM_CLOSE, as the
  // system menu, the taskbar or a log-off's close sends it; the only way in
  // while the start-up runs with the window hidden and no icon).
  enum class ExitBy { TrayMenu, WindowClose };
  // Ends the launcher that way and returns the milliseconds from the first
  // message (the right click on the icon, or WM_CLOSE) to the end of the
  // process; nullopt when it still runs at the deadline (or the menu never
  // opened).
  std::optional<double> TimeExit(ExitBy how, DWORD timeoutMs);

 private:
  std::string error_;
  std::string rootFolder_;
  std::string exeFolder_;
  std::string exePath_;
  std::string tempFolder_;
  std::string localAppData_;
  std::string openerRecord_;                                       // empty: no record variable
  std::vector<std::unique_ptr<SavedRegistryValue>> dllOverrides_;  // put back after the launcher ends
  bool ownExeElsewhere_ = false;
  win32::UniqueHandle process_;
  DWORD processId_ = 0;
  Stopwatch started_;
};

}  // namespace hta::wintest
