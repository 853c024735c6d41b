// MainWindow's tray icon: adding it (and retrying while the shell cannot
// take it), its notifications, its menu and its removal.

#include "win32/main_window.h"

#include <shellapi.h>

#include "win32/resource_ids.h"

namespace hta::win32 {
namespace {

// At log-on the program may start before the shell's tray exists, and
// Shell_NotifyIconA then fails: about twenty seconds of retries covers a
// slow log-on without leaving a timer running for good.
constexpr UINT kTrayRetryInterval = 2000;
constexpr int kTrayRetries = 10;

}  // namespace

bool MainWindow::AddTrayIcon() {
  if (!window_) {
    return false;
  }
  if (!trayIcon_) {
    // The tray draws its icons at the system DPI, not the window's.
    const UINT dpi = dpi_.ForSystem();
    trayIcon_.reset(static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                                  dpi_.SystemMetric(SM_CXSMICON, dpi),
                                                  dpi_.SystemMetric(SM_CYSMICON, dpi), 0)));
  }
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window_.get();
  data.uID = kTrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = trayIcon_.get();
  lstrcpynA(data.szTip, "Launcher", sizeof data.szTip);
  // A busy shell can time out on an add that it still carries out; the
  // icon is then there and only needs its data set.
  return Shell_NotifyIconA(NIM_ADD, &data) != FALSE || Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

void MainWindow::AddTrayIconOrRetry() {
  StopTrayRetries();
  if (!AddTrayIcon() && window_) {
    trayRetriesLeft_ = kTrayRetries;
    SetTimer(window_.get(), kTrayRetryTimerId, kTrayRetryInterval, nullptr);
  }
}

void MainWindow::OnTrayRetryTimer() {
  if (!inTray_ || AddTrayIcon() || --trayRetriesLeft_ <= 0) {
    StopTrayRetries();
  }
}

void MainWindow::StopTrayRetries() {
  trayRetriesLeft_ = 0;
  if (window_) {
    KillTimer(window_.get(), kTrayRetryTimerId);
  }
}

void MainWindow::OnTrayMessage(WPARAM iconId, LPARAM mouseMessage) {
  // With the default (version 0) notification behaviour, lParam is the
  // mouse message that happened over the icon.
  if (iconId == kTrayIconId && events_ != nullptr) {
    events_->TrayNotification(static_cast<unsigned>(LOWORD(mouseMessage)));
  }
}

void MainWindow::ShrinkToTray() {
  if (!window_) {
    return;
  }
  inTray_ = true;
  // When every retry fails the program runs on without the icon.
  AddTrayIconOrRetry();
  ShowWindow(window_.get(), SW_MINIMIZE);
  ShowWindow(window_.get(), SW_HIDE);
}

void MainWindow::RemoveTrayIcon() {
  inTray_ = false;
  StopTrayRetries();
  if (window_) {
    RemoveTrayIconOf(window_.get());
  }
}

void MainWindow::RemoveTrayIconOf(HWND window) {
  // Harmless when no icon was added: the shell just reports failure.
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = kTrayIconId;
  Shell_NotifyIconA(NIM_DELETE, &data);
}

void MainWindow::ShowTrayMenu() {
  HWND window = window_.get();
  if (window == nullptr || events_ == nullptr) {
    return;
  }
  OwnedMenu menu = menu_.Build();
  if (!menu) {
    return;
  }
  POINT at{};
  GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks
  // elsewhere; the posted WM_NULL makes the next showing work as well.
  SetForegroundWindow(window);
  UINT chosen = static_cast<UINT>(TrackPopupMenuEx(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                                   at.x, at.y, window, nullptr));
  PostMessageA(window, WM_NULL, 0, 0);
  menu.reset();

  // The event handlers may destroy the window; nothing here touches it after.
  const TrayMenuModel::Choice choice = TrayMenuModel::Decode(chosen);
  switch (choice.command) {
    case TrayMenuModel::Command::App:
      events_->MenuEntryChosen(choice.appIndex);
      break;
    case TrayMenuModel::Command::ShowPopups:
      events_->ShowPopupsChosen();
      break;
    case TrayMenuModel::Command::Exit:
      events_->ExitChosen();
      break;
    case TrayMenuModel::Command::None:
      break;
  }
}

}  // namespace hta::win32
