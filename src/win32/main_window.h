#pragma once

#include <optional>
#include <string>

#include "ports/main_window.h"
#include "win32/dpi.h"
#include "win32/handles.h"
#include "win32/logo_image.h"
#include "win32/tray_menu.h"
#include "win32/win32_message_pump.h"

namespace hta::win32 {

// The program's one top-level window, a plain Win32 window with
// dialog-style keyboard handling (Tab, Enter, Alt+mnemonics through
// IsDialogMessageA), fixed size, laid out anew for every DPI it is shown at.
// It is a view only: it shows what MainWindowView is told and passes what the
// user does to MainWindowEvents.
//
// The object outlives its window: an event handler may destroy the window
// (Close) in the middle of a message, and every method copes with the
// window being gone.
class MainWindow final : public MainWindowView, public MessageFilter {
 public:
  // The window class's name; a second copy of the program can find the
  // first by it.
  static constexpr const char* kClassName = "HtaLauncherMainWindow";
  // The tray icon's notifications, with the mouse message in lParam.
  static constexpr UINT kTrayMessage = WM_APP + 1;
  // The poll timer's id: a WM_TIMER with it runs the action poll at once.
  static constexpr UINT_PTR kTimer1Id = 1;

  explicit MainWindow(HINSTANCE instance);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window and its controls, hidden. `events` must outlive the
  // window. False when Windows refused.
  bool Create(MainWindowEvents& events);
  void Show(int showCommand);
  // The window, or null before Create and after it was destroyed.
  HWND Handle() const { return window_.get(); }

  bool PreTranslate(MSG& message) override;

  // MainWindowView
  void SetVersionText(const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  void SetUserText(const std::string& text) override;
  std::string UserText() override;
  void SetButtonsEnabled(bool enabled) override;
  void SetRunChecked(bool checked) override;
  bool RunChecked() override;
  void SetAppEntry(int index, const std::string& caption, bool visible) override;
  void SetShowPopupsChecked(bool checked) override;
  bool ShowPopupsChecked() override;
  void ArmTimer(unsigned milliseconds) override;
  void ShrinkToTray() override;
  void RemoveTrayIcon() override;
  void BringToForeground() override;
  void ShowTrayMenu() override;
  void Close() override;

 private:
  struct Controls {
    // Child windows are destroyed with their parent; these do not own them.
    HWND logo = nullptr;
    HWND titleLabel = nullptr;
    HWND versionLabel = nullptr;
    HWND userCaption = nullptr;
    HWND userBox = nullptr;
    HWND runAtStartupBox = nullptr;
    HWND reconnectButton = nullptr;
    HWND exitButton = nullptr;
    HWND statusLine = nullptr;
  };

  struct Layout {
    int clientWidth = 0;
    int clientHeight = 0;
    int separatorTop = 0;
    int logoSize = 0;
    RECT logo{}, titleLabel{}, versionLabel{}, userCaption{}, userBox{}, runAtStartupBox{}, reconnectButton{},
        exitButton{}, statusLine{};
  };

  static constexpr DWORD kWindowStyle =
      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  static constexpr DWORD kWindowExStyle = 0;
  // The tray icon's retries, apart from the poll timer so that they never poll.
  static constexpr UINT_PTR kTrayRetryTimerId = 2;
  static constexpr UINT kTrayIconId = 1;

  // The window procedure (main_window.cpp). The handlers that return an
  // optional leave the message to DefWindowProcA when they return none.
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnCreate(HWND window);
  void OnCommand(int id, int code, HWND control);
  void OnTimer(WPARAM id);
  void OnClose();
  void OnEndSession(WPARAM ending);
  void OnPowerBroadcast(WPARAM event);
  void OnDestroy(HWND window);
  void OnNcDestroy(HWND window);
  std::optional<LRESULT> OnActivate(HWND window, WPARAM state);
  std::optional<LRESULT> OnRegisteredMessage(HWND window, UINT message);

  // Controls, fonts, icons and painting at the window's DPI
  // (main_window_layout.cpp).
  bool CreateControls(HWND window);
  // Fonts, icons and layout for the DPI in currentDpi_. `position`: where
  // the window's top-left corner goes, or null to centre it on its monitor.
  void ApplyDpi(const POINT* position);
  void MakeFonts();
  void LoadIcons();
  Layout ComputeLayout() const;
  void OnDpiChanged(WPARAM dpi, LPARAM suggested);
  void OnSettingChange(HWND window, WPARAM what);
  std::optional<LRESULT> OnCtlColorStatic(WPARAM dc, LPARAM control);
  std::optional<LRESULT> OnDrawItem(WPARAM id, LPARAM item);
  void OnPaint(HWND window);

  // The tray icon and its menu (tray_icon.cpp).
  // True when the icon is in the tray afterwards.
  bool AddTrayIcon();
  // Adds the icon, or keeps trying on a timer while the shell cannot take it.
  void AddTrayIconOrRetry();
  void OnTrayRetryTimer();
  void StopTrayRetries();
  void OnTrayMessage(WPARAM iconId, LPARAM mouseMessage);
  void RemoveTrayIconOf(HWND window);

  HINSTANCE instance_;
  DpiFunctions dpi_;
  RegisteredClass class_;
  OwnedWindow window_;
  MainWindowEvents* events_ = nullptr;
  Controls controls_;

  UINT currentDpi_ = kDefaultDpi;
  Layout layout_;
  OwnedFont font_;       // the system's message font at currentDpi_
  OwnedFont titleFont_;  // the title's: the message font, larger and bold
  OwnedIcon bigIcon_;
  OwnedIcon smallIcon_;
  OwnedIcon trayIcon_;
  LogoImage logo_;

  TrayMenuModel menu_;
  // The program is in the tray: the icon belongs there even while the shell
  // is not taking it (at log-on, or while Explorer restarts).
  bool inTray_ = false;
  // Adds left before giving up on a shell that is not ready.
  int trayRetriesLeft_ = 0;
  // Sent to every top-level window when Explorer (and with it the tray)
  // restarts; the icon must then be added again.
  UINT taskbarCreatedMessage_ = 0;
  // The control that had the focus when the window was last deactivated.
  HWND focusOnDeactivate_ = nullptr;
};

}  // namespace hta::win32
