#include "win32/main_window.h"

#include <algorithm>
#include <utility>

#include <commctrl.h>
#include <shellapi.h>

#include "shell/launcher_state.h"
#include "win32/resource_ids.h"
#include "win32/win32_single_instance.h"

namespace hta::win32 {
namespace {

constexpr UINT_PTR kTimer1 = MainWindow::kTimer1Id;
// The tray icon's retries, apart from Timer1 so that they never poll.
constexpr UINT_PTR kTrayRetryTimer = 2;
// At log-on the program may start before the shell's tray exists, and
// Shell_NotifyIconA then fails: about twenty seconds of retries covers a
// slow log-on without leaving a timer running for good.
constexpr UINT kTrayRetryInterval = 2000;
constexpr int kTrayRetries = 10;
constexpr UINT kTrayIconId = 1;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;

HMENU ControlId(int id) {
  return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

RECT Rect(int left, int top, int width, int height) {
  return RECT{left, top, left + width, top + height};
}

void Place(HWND control, const RECT& r) {
  if (control != nullptr) {
    SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// Width of a caption as drawn, without the "&" that marks its mnemonic.
int TextWidth(HDC dc, HFONT font, const char* text) {
  ScopedSelect select(dc, font);
  RECT r{0, 0, 0, 0};
  DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE);
  return r.right - r.left;
}

int LineHeight(HDC dc, HFONT font) {
  ScopedSelect select(dc, font);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  return metrics.tmHeight;
}

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
  if (controls_.txtName != nullptr) {
    SetFocus(controls_.txtName);
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
  switch (message) {
    case WM_CREATE:
      currentDpi_ = dpi_.ForWindow(window);
      if (!CreateControls(window)) {
        return -1;
      }
      ApplyDpi(nullptr);
      return 0;

    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;

    case DM_GETDEFID:
      // Enter anywhere in the window means "&Reconnect".
      return MAKELRESULT(IDC_CMDLOGIN, DC_HASDEFID);

    case WM_TIMER:
      if (wParam == kTimer1 && events_ != nullptr) {
        events_->Timer1_Timer();
      } else if (wParam == kTrayRetryTimer) {
        if (!inTray_ || AddTrayIcon() || --trayRetriesLeft_ <= 0) {
          StopTrayRetries();
        }
      }
      return 0;

    case kTrayMessage:
      // With the default (version 0) notification behaviour, lParam is the
      // mouse message that happened over the icon.
      if (wParam == kTrayIconId && events_ != nullptr) {
        events_->TrayNotification(static_cast<unsigned>(LOWORD(lParam)));
      }
      return 0;

    case WM_CLOSE:
      // Closing is the core's decision (it saves the settings first), so
      // the system menu's Close and Alt+F4 only report the wish.
      if (events_ != nullptr) {
        events_->Form_Unload();
      }
      return 0;

    case WM_QUERYENDSESSION:
      // The program holds nothing that could keep a session from ending.
      return TRUE;

    case WM_ENDSESSION:
      // The session ends (log-off, shut-down, or an installer's restart
      // manager closing the program: ENDSESSION_CLOSEAPP). Windows may end
      // the process as soon as this returns, so the core stores the settings
      // and removes the icon here. With FALSE the end was called off.
      if (wParam != FALSE && events_ != nullptr) {
        events_->Form_Unload();
      }
      return 0;

    case WM_POWERBROADCAST:
      // Sent on every resume, whether a user is at the machine or not.
      if (wParam == PBT_APMRESUMEAUTOMATIC && events_ != nullptr) {
        events_->SystemResumed();
      }
      return TRUE;

    case WM_DESTROY:
      KillTimer(window, kTimer1);
      KillTimer(window, kTrayRetryTimer);
      // A tray icon left behind stays in the tray until the mouse passes
      // over it, pointing at a window that no longer exists.
      RemoveTrayIconOf(window);
      PostQuitMessage(0);
      return 0;

    case WM_NCDESTROY:
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      window_.release();
      controls_ = Controls{};
      focusOnDeactivate_ = nullptr;
      return DefWindowProcA(window, message, wParam, lParam);

    case WM_ACTIVATE:
      // A plain window forgets which control had the focus when the user
      // switches away; keep it, as a dialog box would.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window, focus)) {
          focusOnDeactivate_ = focus;
        }
        return 0;
      }
      if (focusOnDeactivate_ != nullptr && IsWindow(focusOnDeactivate_) &&
          IsWindowEnabled(focusOnDeactivate_)) {
        SetFocus(focusOnDeactivate_);
        return 0;
      }
      // Otherwise the window itself would take the focus and no control
      // would answer the keyboard until the user pressed Tab.
      if (controls_.txtName != nullptr) {
        SetFocus(controls_.txtName);
        return 0;
      }
      break;

    case WM_DPICHANGED: {
      currentDpi_ = HIWORD(wParam);
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      POINT topLeft{suggested->left, suggested->top};
      ApplyDpi(&topLeft);
      return 0;
    }

    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETNONCLIENTMETRICS) {
        // The user chose another message font or text size.
        RECT r;
        GetWindowRect(window, &r);
        POINT topLeft{r.left, r.top};
        ApplyDpi(&topLeft);
      }
      break;

    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == controls_.lblVersion) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(
            GetSysColorBrush(COLOR_BTNFACE));  // a system brush: not ours to free
      }
      break;

    case WM_DRAWITEM:
      if (wParam == IDC_IMAGE1) {
        OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      }
      break;

    case WM_PAINT:
      OnPaint(window);
      return 0;

    default:
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
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool MainWindow::CreateControls(HWND window) {
  auto child = [&](const char* cls, const char* text, DWORD style, DWORD exStyle, int id) {
    return CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window,
                           ControlId(id), instance_, nullptr);
  };
  // Creation order is the tab order: the user box first, then the row of the
  // check box and the two buttons, left to right. Label1 comes right before
  // the box it labels, as screen readers expect.
  Controls c;
  c.image1 = child(WC_STATICA, "", SS_OWNERDRAW, 0, IDC_IMAGE1);
  // Texts from outside (the version, the status) get SS_NOPREFIX so that an
  // "&" in them shows as itself instead of underlining the next letter.
  c.label2 = child(WC_STATICA, "VANO Launcher", SS_LEFT | SS_NOPREFIX, 0, IDC_LABEL2);
  c.lblVersion = child(WC_STATICA, "", SS_LEFT | SS_NOPREFIX, 0, IDC_LBLVERSION);
  c.label1 = child(WC_STATICA, "User:", SS_LEFT, 0, IDC_LABEL1);
  c.txtName = child(WC_EDITA, "", WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, IDC_TXTNAME);
  c.chkRun = child(WC_BUTTONA, "&Run at Startup", WS_TABSTOP | BS_AUTOCHECKBOX, 0, IDC_CHKRUN);
  c.cmdLogin = child(WC_BUTTONA, "&Reconnect", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, IDC_CMDLOGIN);
  c.cmdExit = child(WC_BUTTONA, "E&xit", WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_CMDEXIT);
  c.lblStatus = child(WC_STATICA, "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, IDC_LBLSTATUS);
  controls_ = c;
  return c.image1 && c.label2 && c.lblVersion && c.label1 && c.txtName && c.chkRun && c.cmdLogin &&
         c.cmdExit && c.lblStatus;
}

void MainWindow::MakeFonts() {
  // The message font is the face the user sees in every message box and
  // dialog (Segoe UI on current Windows, Tahoma where "MS Shell Dlg" maps
  // to it). SystemParametersInfoA reports it at the system DPI.
  LOGFONTA message{};
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    message = metrics.lfMessageFont;
    message.lfHeight =
        MulDiv(message.lfHeight, static_cast<int>(currentDpi_), static_cast<int>(dpi_.ForSystem()));
  } else {
    lstrcpynA(message.lfFaceName, "MS Shell Dlg", LF_FACESIZE);
    message.lfHeight = -MulDiv(8, static_cast<int>(currentDpi_), 72);
    message.lfCharSet = DEFAULT_CHARSET;
  }
  LOGFONTA title = message;
  title.lfHeight = message.lfHeight * 3 / 2;
  title.lfWeight = FW_BOLD;

  OwnedFont font(CreateFontIndirectA(&message));
  OwnedFont titleFont(CreateFontIndirectA(&title));
  // Hand the controls the new fonts before the old ones are deleted: a
  // control must never hold a deleted font.
  const HWND normal[] = {controls_.lblVersion, controls_.label1,  controls_.txtName,  controls_.chkRun,
                         controls_.cmdLogin,   controls_.cmdExit, controls_.lblStatus};
  for (HWND control : normal) {
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  }
  SendMessageA(controls_.label2, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont.get()), FALSE);
  font_ = std::move(font);
  titleFont_ = std::move(titleFont);
}

void MainWindow::LoadIcons() {
  auto load = [&](int metricX, int metricY) {
    return OwnedIcon(static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                                   dpi_.SystemMetric(metricX, currentDpi_),
                                                   dpi_.SystemMetric(metricY, currentDpi_), 0)));
  };
  OwnedIcon big = load(SM_CXICON, SM_CYICON);
  OwnedIcon small = load(SM_CXSMICON, SM_CYSMICON);
  SendMessageA(window_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
  SendMessageA(window_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  bigIcon_ = std::move(big);
  smallIcon_ = std::move(small);
}

MainWindow::Layout MainWindow::ComputeLayout() const {
  const UINT dpi = currentDpi_;
  auto s = [dpi](int v) { return ScaleForDpi(v, dpi); };

  WindowDc dc(window_.get());
  const int line = LineHeight(dc.get(), font_.get());
  const int titleLine = LineHeight(dc.get(), titleFont_.get());
  const int label1Width = TextWidth(dc.get(), font_.get(), "User:");
  const int checkGlyph = dpi_.SystemMetric(SM_CXMENUCHECK, dpi);
  const int checkWidth = checkGlyph + s(6) + TextWidth(dc.get(), font_.get(), "&Run at Startup") + s(4);
  const int buttonWidth = std::max({s(88), TextWidth(dc.get(), font_.get(), "&Reconnect") + s(24),
                                    TextWidth(dc.get(), font_.get(), "E&xit") + s(24)});
  const int buttonHeight = std::max(s(25), line + s(10));
  const int editHeight = std::max(s(23), line + s(8));
  const int checkHeight = std::max(line, checkGlyph) + s(4);

  const int margin = s(12);
  const int gap = s(8);
  Layout l;
  l.clientWidth = std::max(s(380), margin + checkWidth + 2 * gap + 2 * buttonWidth + margin);

  // Header: the logo, with the title and the version beside it.
  l.logoSize = s(48);
  l.image1 = Rect(margin, margin, l.logoSize, l.logoSize);
  const int textLeft = margin + l.logoSize + s(12);
  const int textWidth = l.clientWidth - textLeft - margin;
  const int block = titleLine + s(2) + line;
  const int blockTop = margin + std::max(0, (l.logoSize - block) / 2);
  l.label2 = Rect(textLeft, blockTop, textWidth, titleLine);
  l.lblVersion = Rect(textLeft, blockTop + titleLine + s(2), textWidth, line);
  const int headerBottom = margin + std::max(l.logoSize, block);

  l.separatorTop = headerBottom + s(10);

  // The user box, lined up with the title above it.
  const int rowUser = l.separatorTop + s(2) + s(12);
  const int editLeft = std::max(textLeft, margin + label1Width + gap);
  l.label1 = Rect(margin, rowUser + (editHeight - line) / 2, editLeft - margin - gap / 2, line);
  l.txtName = Rect(editLeft, rowUser, l.clientWidth - editLeft - margin, editHeight);

  // The check box on the left, the buttons on the right.
  const int rowButtons = rowUser + editHeight + s(12);
  l.chkRun = Rect(margin, rowButtons + (buttonHeight - checkHeight) / 2, checkWidth, checkHeight);
  l.cmdExit = Rect(l.clientWidth - margin - buttonWidth, rowButtons, buttonWidth, buttonHeight);
  l.cmdLogin = Rect(l.cmdExit.left - gap - buttonWidth, rowButtons, buttonWidth, buttonHeight);

  const int rowStatus = rowButtons + buttonHeight + s(10);
  l.lblStatus = Rect(margin, rowStatus, l.clientWidth - 2 * margin, line);
  l.clientHeight = rowStatus + line + margin;
  return l;
}

void MainWindow::ApplyDpi(const POINT* position) {
  HWND window = window_.get();
  if (window == nullptr) {
    return;
  }
  MakeFonts();
  LoadIcons();
  layout_ = ComputeLayout();
  Place(controls_.image1, layout_.image1);
  Place(controls_.label2, layout_.label2);
  Place(controls_.lblVersion, layout_.lblVersion);
  Place(controls_.label1, layout_.label1);
  Place(controls_.txtName, layout_.txtName);
  Place(controls_.chkRun, layout_.chkRun);
  Place(controls_.cmdLogin, layout_.cmdLogin);
  Place(controls_.cmdExit, layout_.cmdExit);
  Place(controls_.lblStatus, layout_.lblStatus);

  RECT frame{0, 0, layout_.clientWidth, layout_.clientHeight};
  dpi_.AdjustWindowRect(frame, kWindowStyle, kWindowExStyle, currentDpi_);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  POINT topLeft{};
  if (position != nullptr) {
    topLeft = *position;
  } else {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    topLeft.x = work.left + std::max(0L, (work.right - work.left - width) / 2);
    topLeft.y = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
  }
  SetWindowPos(window, nullptr, topLeft.x, topLeft.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(window, nullptr, TRUE);
}

void MainWindow::OnPaint(HWND window) {
  PaintScope paint(window);
  // An etched line under the header, drawn rather than made a control so
  // that the window has exactly its named controls.
  RECT line{ScaleForDpi(12, currentDpi_), layout_.separatorTop,
            layout_.clientWidth - ScaleForDpi(12, currentDpi_), layout_.separatorTop + 2};
  DrawEdge(paint.get(), &line, EDGE_ETCHED, BF_TOP);
}

void MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
  const RECT& r = item.rcItem;
  FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  const int size = std::min(r.right - r.left, r.bottom - r.top);
  logo_.Draw(item.hDC, r.left + (r.right - r.left - size) / 2, r.top + (r.bottom - r.top - size) / 2, size,
             GetSysColor(COLOR_BTNFACE));
}

void MainWindow::OnCommand(int id, int code, HWND control) {
  if (events_ == nullptr || code != BN_CLICKED) {
    return;
  }
  // The dialog manager presses the default button on Enter even while it is
  // disabled; a disabled button must not start a second login in the middle
  // of the first.
  switch (id) {
    case IDC_CMDLOGIN:
      if (control != nullptr && IsWindowEnabled(control)) {
        events_->cmdLogin_Click();
      }
      break;
    case IDC_CMDEXIT:
      if (control != nullptr && IsWindowEnabled(control)) {
        events_->cmdExit_Click();
      }
      break;
    case IDC_CHKRUN:
      events_->chkRun_Click();
      break;
    default:
      break;  // IDOK and IDCANCEL from Enter and Escape: nothing to do
  }
}

void MainWindow::SetVersionText(const std::string& text) {
  SetWindowTextA(controls_.lblVersion, text.c_str());
}

void MainWindow::SetStatusText(const std::string& text) {
  SetWindowTextA(controls_.lblStatus, text.c_str());
  // The label is drawn at once: the status is set in the middle of long
  // operations that pump messages only between their steps.
  if (controls_.lblStatus != nullptr) {
    UpdateWindow(controls_.lblStatus);
  }
}

void MainWindow::SetUserText(const std::string& text) {
  SetWindowTextA(controls_.txtName, text.c_str());
}

std::string MainWindow::UserText() {
  if (controls_.txtName == nullptr) {
    return {};
  }
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(controls_.txtName)) + 1, '\0');
  int length = GetWindowTextA(controls_.txtName, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(length, 0)));
  return text;
}

void MainWindow::SetButtonsEnabled(bool enabled) {
  if (!enabled) {
    // Keep the keyboard alive: the focus would otherwise stay on a disabled
    // button that ignores every key.
    HWND focus = GetFocus();
    if ((focus == controls_.cmdLogin || focus == controls_.cmdExit) && controls_.txtName != nullptr) {
      SetFocus(controls_.txtName);
    }
  }
  if (controls_.cmdLogin != nullptr) {
    EnableWindow(controls_.cmdLogin, enabled);
  }
  if (controls_.cmdExit != nullptr) {
    EnableWindow(controls_.cmdExit, enabled);
  }
}

void MainWindow::SetRunChecked(bool checked) {
  // BM_SETCHECK does not send BN_CLICKED, so this raises no chkRun_Click.
  if (controls_.chkRun != nullptr) {
    SendMessageA(controls_.chkRun, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

bool MainWindow::RunChecked() {
  return controls_.chkRun != nullptr && SendMessageA(controls_.chkRun, BM_GETCHECK, 0, 0) == BST_CHECKED;
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
  if (!window_) {
    return;
  }
  // Zero stops the timer; SetTimer would otherwise turn it into 10 ms.
  if (milliseconds == 0) {
    KillTimer(window_.get(), kTimer1);
  } else {
    SetTimer(window_.get(), kTimer1, milliseconds, nullptr);
  }
}

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
    SetTimer(window_.get(), kTrayRetryTimer, kTrayRetryInterval, nullptr);
  }
}

void MainWindow::StopTrayRetries() {
  trayRetriesLeft_ = 0;
  if (window_) {
    KillTimer(window_.get(), kTrayRetryTimer);
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

void MainWindow::BringToForeground() {
  if (window_) {
    SetForegroundWindow(window_.get());
  }
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
      events_->smnuApp_Click(choice.appIndex);
      break;
    case TrayMenuModel::Command::ShowPopups:
      events_->smnuShowPopups_Click();
      break;
    case TrayMenuModel::Command::Exit:
      events_->smnuExit_Click();
      break;
    case TrayMenuModel::Command::None:
      break;
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
