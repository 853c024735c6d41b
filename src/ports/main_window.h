#pragma once

#include <string>

namespace hta {

// What the user does to the main window, its menu, its timer and its tray
// icon. The core implements this; the window calls it on the GUI thread from
// its message handling (including from inside MessagePump::DoEvents, so every
// handler must tolerate running in the middle of another one).
class MainWindowEvents {
 public:
  virtual ~MainWindowEvents() = default;

  virtual void ReconnectClicked() = 0;
  virtual void ExitClicked() = 0;
  virtual void RunAtStartupClicked() = 0;
  // `index` is 1 to 10.
  virtual void MenuEntryChosen(int index) = 0;
  virtual void ShowPopupsChosen() = 0;
  virtual void ExitChosen() = 0;
  virtual void PollTimerTick() = 0;
  // The mouse message that a tray notification carries (WM_LBUTTONUP ...).
  virtual void TrayNotification(unsigned mouseMessage) = 0;
  // The user closed the window (system menu, Alt+F4), or the Windows
  // session is ending (log-off, shut-down, an installer closing the
  // program): the process may be ended right after this returns.
  virtual void Shutdown() = 0;
  // The machine has resumed from sleep or hibernation.
  virtual void SystemResumed() = 0;
};

// The main window as the core drives it. Setters change what the
// user sees at once; none of them runs the message loop or calls back into
// MainWindowEvents.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;

  virtual void SetVersionText(const std::string& text) = 0;  // the version under the title
  virtual void SetStatusText(const std::string& text) = 0;   // the status line
  virtual void SetUserText(const std::string& text) = 0;     // the User box
  virtual std::string UserText() = 0;                        // the User box
  virtual void SetButtonsEnabled(bool enabled) = 0;          // the Reconnect and Exit buttons
  virtual void SetRunChecked(bool checked) = 0;              // the Run at Startup box; raises no click
  virtual bool RunChecked() = 0;                             // the Run at Startup box

  // The tray menu's entries. `index` is 1 to 10.
  virtual void SetAppEntry(int index, const std::string& caption, bool visible) = 0;
  virtual void SetShowPopupsChecked(bool checked) = 0;
  virtual bool ShowPopupsChecked() = 0;

  // The poll timer: (re)arms it with the interval; ticks arrive as PollTimerTick.
  virtual void ArmTimer(unsigned milliseconds) = 0;

  // Tray: add the icon (tip "Launcher"), minimise and hide the window.
  virtual void ShrinkToTray() = 0;
  // Removes the tray icon; harmless when none was added.
  virtual void RemoveTrayIcon() = 0;
  // Brings the window's process to the foreground (SetForegroundWindow);
  // failures are ignored.
  virtual void BringToForeground() = 0;
  // Shows the tray menu at the pointer and returns when it has closed; the
  // chosen entry arrives as its click event before this returns.
  virtual void ShowTrayMenu() = 0;

  // Destroys the window and ends the message loop; the process then exits.
  virtual void Close() = 0;
};

}  // namespace hta
