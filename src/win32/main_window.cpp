#include "win32/main_window.h"

#include <algorithm>

#include <commctrl.h>

#include "session/app_title.h"
#include "win32/resource_ids.h"
#include "win32/win32_single_instance.h"
#include "win32/window_timer.h"

namespace hta::win32 {
namespace {

// The message a second copy of the program sends to bring this one forward.
UINT ActivateRequest() {
  static const UINT message = RegisterWindowMessageA(Win32SingleInstance::kActivateMessage);
  return message;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {}

MainWindow::~MainWindow() {
  // The window may still exist when the program ends by another road than
  // Close (a failed start-up); it must not outlive the object its window
  // procedure points at.
  window_.reset();
}

bool MainWindow::Create(MainWindowEvents& events) {
  if (window_) {
    return false;
  }
  events_ = &events;

  INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);

  if (!class_) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::WindowProc;
    wc.hInstance = instance_;
    wc.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_APP));  // shared, never destroyed
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kClassName;
    class_ = RegisteredClass(instance_, RegisterClassExA(&wc));
    if (!class_) {
      return false;
    }
  }
  taskbarCreatedMessage_ = RegisterWindowMessageA("TaskbarCreated");
  logo_.Load(instance_, IDB_LOGO);

  // The size is set in WM_CREATE, once the window knows its monitor's DPI.
  // The caption is the title of the program's message boxes as well.
  const std::string caption(kAppTitle);
  HWND window = CreateWindowExA(kWindowExStyle, MAKEINTATOM(class_.atom()), caption.c_str(), kWindowStyle,
                                CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance_, this);
  return window != nullptr;
}

void MainWindow::Show(int showCommand) {
  if (!window_) {
    return;
  }
  ShowWindow(window_.get(), showCommand);
  UpdateWindow(window_.get());
  if (controls_.userBox != nullptr) {
    SetFocus(controls_.userBox);
  }
}

bool MainWindow::PreTranslate(MSG& message) {
  // The dialog manager gives the window Tab and Shift+Tab between the
  // controls, Enter for the default button and Alt+letter for mnemonics.
  return window_ && IsDialogMessageA(window_.get(), &message);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    self = static_cast<MainWindow*>(create->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_.reset(window);
  } else {
    self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  }
  if (self == nullptr) {
    // WM_GETMINMAXINFO arrives before WM_NCCREATE.
    return DefWindowProcA(window, message, wParam, lParam);
  }
  return self->HandleMessage(window, message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::optional<LRESULT> result;
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case DM_GETDEFID:
      // Enter anywhere in the window means "&Reconnect".
      return MAKELRESULT(IDC_RECONNECT, DC_HASDEFID);
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case kTrayMessage:
      OnTrayMessage(wParam, lParam);
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION:
      // The program holds nothing that could keep a session from ending.
      return TRUE;
    case WM_ENDSESSION:
      OnEndSession(wParam);
      return 0;
    case WM_POWERBROADCAST:
      OnPowerBroadcast(wParam);
      return TRUE;
    case WM_DESTROY:
      OnDestroy(window);
      return 0;
    case WM_NCDESTROY:
      OnNcDestroy(window);
      break;
    case WM_ACTIVATE:
      result = OnActivate(window, wParam);
      break;
    case WM_DPICHANGED:
      OnDpiChanged(wParam, lParam);
      return 0;
    case WM_SETTINGCHANGE:
      OnSettingChange(window, wParam);
      break;
    case WM_CTLCOLORSTATIC:
      result = OnCtlColorStatic(wParam, lParam);
      break;
    case WM_DRAWITEM:
      result = OnDrawItem(wParam, lParam);
      break;
    case WM_PAINT:
      OnPaint(window);
      return 0;
    default:
      result = OnRegisteredMessage(window, message);
      break;
  }
  return result ? *result : DefWindowProcA(window, message, wParam, lParam);
}

LRESULT MainWindow::OnCreate(HWND window) {
  currentDpi_ = dpi_.ForWindow(window);
  if (!CreateControls(window)) {
    return -1;
  }
  ApplyDpi(nullptr);
  return 0;
}

void MainWindow::OnCommand(int id, int code, HWND control) {
  if (events_ == nullptr || code != BN_CLICKED) {
    return;
  }
  // The dialog manager presses the default button on Enter even while it is
  // disabled; a disabled button must not start a second login in the middle
  // of the first.
  switch (id) {
    case IDC_RECONNECT:
      if (control != nullptr && IsWindowEnabled(control)) {
        events_->ReconnectClicked();
      }
      break;
    case IDC_EXIT:
      if (control != nullptr && IsWindowEnabled(control)) {
        events_->ExitClicked();
      }
      break;
    case IDC_RUN_AT_STARTUP:
      events_->RunAtStartupClicked();
      break;
    default:
      break;  // IDOK and IDCANCEL from Enter and Escape: nothing to do
  }
}

void MainWindow::OnTimer(WPARAM id) {
  if (id == kTimer1Id && events_ != nullptr) {
    events_->PollTimerTick();
  } else if (id == kTrayRetryTimerId) {
    OnTrayRetryTimer();
  }
}

void MainWindow::OnClose() {
  // Closing is the core's decision (it saves the settings first), so the
  // system menu's Close and Alt+F4 only report the wish.
  if (events_ != nullptr) {
    events_->Shutdown();
  }
}

void MainWindow::OnEndSession(WPARAM ending) {
  // The session ends (log-off, shut-down, or an installer's restart
  // manager closing the program: ENDSESSION_CLOSEAPP). Windows may end
  // the process as soon as this returns, so the core stores the settings
  // and removes the icon here. With FALSE the end was called off.
  if (ending != FALSE && events_ != nullptr) {
    events_->Shutdown();
  }
}

void MainWindow::OnPowerBroadcast(WPARAM event) {
  // Sent on every resume, whether a user is at the machine or not.
  if (event == PBT_APMRESUMEAUTOMATIC && events_ != nullptr) {
    events_->SystemResumed();
  }
}

void MainWindow::OnDestroy(HWND window) {
  KillTimer(window, kTimer1Id);
  KillTimer(window, kTrayRetryTimerId);
  // A tray icon left behind stays in the tray until the mouse passes
  // over it, pointing at a window that no longer exists.
  RemoveTrayIconOf(window);
  PostQuitMessage(0);
}

void MainWindow::OnNcDestroy(HWND window) {
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  window_.release();
  controls_ = Controls{};
  focusOnDeactivate_ = nullptr;
}

std::optional<LRESULT> MainWindow::OnActivate(HWND window, WPARAM state) {
  // A plain window forgets which control had the focus when the user
  // switches away; keep it, as a dialog box would.
  if (LOWORD(state) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(window, focus)) {
      focusOnDeactivate_ = focus;
    }
    return 0;
  }
  if (focusOnDeactivate_ != nullptr && IsWindow(focusOnDeactivate_) && IsWindowEnabled(focusOnDeactivate_)) {
    SetFocus(focusOnDeactivate_);
    return 0;
  }
  // Otherwise the window itself would take the focus and no control
  // would answer the keyboard until the user pressed Tab.
  if (controls_.userBox != nullptr) {
    SetFocus(controls_.userBox);
    return 0;
  }
  return std::nullopt;
}

std::optional<LRESULT> MainWindow::OnRegisteredMessage(HWND window, UINT message) {
  if (message == ActivateRequest() && message != 0) {
    // A second copy was started and asks this one to come forward (see
    // Win32SingleInstance), out of the tray if need be: SW_RESTORE shows
    // a hidden window and un-minimises it. The tray icon stays.
    if (!IsWindowVisible(window) || IsIconic(window)) {
      ShowWindow(window, SW_RESTORE);
    }
    SetForegroundWindow(window);
    return 1;
  }
  if (message == taskbarCreatedMessage_ && taskbarCreatedMessage_ != 0 && inTray_) {
    // A new tray knows none of the old icons; while the window is on
    // screen there is no icon to bring back.
    AddTrayIconOrRetry();
    return 0;
  }
  return std::nullopt;
}

void MainWindow::SetVersionText(const std::string& text) {
  SetWindowTextA(controls_.versionLabel, text.c_str());
}

void MainWindow::SetStatusText(const std::string& text) {
  SetWindowTextA(controls_.statusLine, text.c_str());
  // The label is drawn at once: the status is set in the middle of long
  // operations that pump messages only between their steps.
  if (controls_.statusLine != nullptr) {
    UpdateWindow(controls_.statusLine);
  }
}

void MainWindow::SetUserText(const std::string& text) {
  SetWindowTextA(controls_.userBox, text.c_str());
}

std::string MainWindow::UserText() {
  if (controls_.userBox == nullptr) {
    return {};
  }
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(controls_.userBox)) + 1, '\0');
  int length = GetWindowTextA(controls_.userBox, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(length, 0)));
  return text;
}

void MainWindow::SetButtonsEnabled(bool enabled) {
  if (!enabled) {
    // Keep the keyboard alive: the focus would otherwise stay on a disabled
    // button that ignores every key.
    HWND focus = GetFocus();
    if ((focus == controls_.reconnectButton || focus == controls_.exitButton) &&
        controls_.userBox != nullptr) {
      SetFocus(controls_.userBox);
    }
  }
  if (controls_.reconnectButton != nullptr) {
    EnableWindow(controls_.reconnectButton, enabled);
  }
  if (controls_.exitButton != nullptr) {
    EnableWindow(controls_.exitButton, enabled);
  }
}

void MainWindow::SetRunChecked(bool checked) {
  // BM_SETCHECK does not send BN_CLICKED, so this raises no RunAtStartupClicked.
  if (controls_.runAtStartupBox != nullptr) {
    SendMessageA(controls_.runAtStartupBox, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

bool MainWindow::RunChecked() {
  return controls_.runAtStartupBox != nullptr &&
         SendMessageA(controls_.runAtStartupBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::SetAppEntry(int index, const std::string& caption, bool visible) {
  menu_.SetApp(index, caption, visible);
}

void MainWindow::SetShowPopupsChecked(bool checked) {
  menu_.SetShowPopupsChecked(checked);
}

bool MainWindow::ShowPopupsChecked() {
  return menu_.ShowPopupsChecked();
}

void MainWindow::ArmTimer(unsigned milliseconds) {
  if (window_) {
    ArmWindowTimer(window_.get(), kTimer1Id, milliseconds);
  }
}

void MainWindow::BringToForeground() {
  if (window_) {
    SetForegroundWindow(window_.get());
  }
}

void MainWindow::Close() {
  // WM_DESTROY removes the tray icon and posts WM_QUIT; WM_NCDESTROY lets
  // go of the handle.
  if (window_) {
    DestroyWindow(window_.get());
  }
}

}  // namespace hta::win32
