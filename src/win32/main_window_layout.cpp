// MainWindow's controls, fonts, icons and painting, laid out for the DPI the
// window is shown at.

#include "win32/main_window.h"

#include <algorithm>
#include <utility>

#include <commctrl.h>

#include "win32/resource_ids.h"

namespace hta::win32 {
namespace {

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

}  // namespace

bool MainWindow::CreateControls(HWND window) {
  auto child = [&](const char* cls, const char* text, DWORD style, DWORD exStyle, int id) {
    return CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window,
                           ControlId(id), instance_, nullptr);
  };
  // Creation order is the tab order: the user box first, then the row of the
  // check box and the two buttons, left to right. The "User:" caption comes right before
  // the box it labels, as screen readers expect.
  Controls c;
  c.logo = child(WC_STATICA, "", SS_OWNERDRAW, 0, IDC_LOGO);
  // Texts from outside (the version, the status) get SS_NOPREFIX so that an
  // "&" in them shows as itself instead of underlining the next letter.
  c.titleLabel = child(WC_STATICA, "VANO Launcher", SS_LEFT | SS_NOPREFIX, 0, IDC_TITLE);
  c.versionLabel = child(WC_STATICA, "", SS_LEFT | SS_NOPREFIX, 0, IDC_VERSION_LABEL);
  c.userCaption = child(WC_STATICA, "User:", SS_LEFT, 0, IDC_USER_CAPTION);
  c.userBox = child(WC_EDITA, "", WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, IDC_USER_BOX);
  c.runAtStartupBox =
      child(WC_BUTTONA, "&Run at Startup", WS_TABSTOP | BS_AUTOCHECKBOX, 0, IDC_RUN_AT_STARTUP);
  c.reconnectButton = child(WC_BUTTONA, "&Reconnect", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, IDC_RECONNECT);
  c.exitButton = child(WC_BUTTONA, "E&xit", WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_EXIT);
  c.statusLine = child(WC_STATICA, "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, IDC_STATUS_LINE);
  controls_ = c;
  return c.logo && c.titleLabel && c.versionLabel && c.userCaption && c.userBox && c.runAtStartupBox &&
         c.reconnectButton && c.exitButton && c.statusLine;
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
  const HWND normal[] = {controls_.versionLabel,    controls_.userCaption,     controls_.userBox,
                         controls_.runAtStartupBox, controls_.reconnectButton, controls_.exitButton,
                         controls_.statusLine};
  for (HWND control : normal) {
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
  }
  SendMessageA(controls_.titleLabel, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont.get()), FALSE);
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
  const int userCaptionWidth = TextWidth(dc.get(), font_.get(), "User:");
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
  l.logo = Rect(margin, margin, l.logoSize, l.logoSize);
  const int textLeft = margin + l.logoSize + s(12);
  const int textWidth = l.clientWidth - textLeft - margin;
  const int block = titleLine + s(2) + line;
  const int blockTop = margin + std::max(0, (l.logoSize - block) / 2);
  l.titleLabel = Rect(textLeft, blockTop, textWidth, titleLine);
  l.versionLabel = Rect(textLeft, blockTop + titleLine + s(2), textWidth, line);
  const int headerBottom = margin + std::max(l.logoSize, block);

  l.separatorTop = headerBottom + s(10);

  // The user box, lined up with the title above it.
  const int rowUser = l.separatorTop + s(2) + s(12);
  const int editLeft = std::max(textLeft, margin + userCaptionWidth + gap);
  l.userCaption = Rect(margin, rowUser + (editHeight - line) / 2, editLeft - margin - gap / 2, line);
  l.userBox = Rect(editLeft, rowUser, l.clientWidth - editLeft - margin, editHeight);

  // The check box on the left, the buttons on the right.
  const int rowButtons = rowUser + editHeight + s(12);
  l.runAtStartupBox = Rect(margin, rowButtons + (buttonHeight - checkHeight) / 2, checkWidth, checkHeight);
  l.exitButton = Rect(l.clientWidth - margin - buttonWidth, rowButtons, buttonWidth, buttonHeight);
  l.reconnectButton = Rect(l.exitButton.left - gap - buttonWidth, rowButtons, buttonWidth, buttonHeight);

  const int rowStatus = rowButtons + buttonHeight + s(10);
  l.statusLine = Rect(margin, rowStatus, l.clientWidth - 2 * margin, line);
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
  Place(controls_.logo, layout_.logo);
  Place(controls_.titleLabel, layout_.titleLabel);
  Place(controls_.versionLabel, layout_.versionLabel);
  Place(controls_.userCaption, layout_.userCaption);
  Place(controls_.userBox, layout_.userBox);
  Place(controls_.runAtStartupBox, layout_.runAtStartupBox);
  Place(controls_.reconnectButton, layout_.reconnectButton);
  Place(controls_.exitButton, layout_.exitButton);
  Place(controls_.statusLine, layout_.statusLine);

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

void MainWindow::OnDpiChanged(WPARAM dpi, LPARAM suggested) {
  currentDpi_ = HIWORD(dpi);
  const auto* rect = reinterpret_cast<const RECT*>(suggested);
  POINT topLeft{rect->left, rect->top};
  ApplyDpi(&topLeft);
}

void MainWindow::OnSettingChange(HWND window, WPARAM what) {
  if (what == SPI_SETNONCLIENTMETRICS) {
    // The user chose another message font or text size.
    RECT r;
    GetWindowRect(window, &r);
    POINT topLeft{r.left, r.top};
    ApplyDpi(&topLeft);
  }
}

std::optional<LRESULT> MainWindow::OnCtlColorStatic(WPARAM dcParam, LPARAM control) {
  if (reinterpret_cast<HWND>(control) != controls_.versionLabel) {
    return std::nullopt;
  }
  HDC dc = reinterpret_cast<HDC>(dcParam);
  SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));  // a system brush: not ours to free
}

void MainWindow::OnPaint(HWND window) {
  PaintScope paint(window);
  // An etched line under the header, drawn rather than made a control so
  // that the window has exactly its named controls.
  RECT line{ScaleForDpi(12, currentDpi_), layout_.separatorTop,
            layout_.clientWidth - ScaleForDpi(12, currentDpi_), layout_.separatorTop + 2};
  DrawEdge(paint.get(), &line, EDGE_ETCHED, BF_TOP);
}

std::optional<LRESULT> MainWindow::OnDrawItem(WPARAM id, LPARAM itemParam) {
  if (id != IDC_LOGO) {
    return std::nullopt;
  }
  const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(itemParam);
  const RECT& r = item.rcItem;
  FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  const int size = std::min(r.right - r.left, r.bottom - r.top);
  logo_.Draw(item.hDC, r.left + (r.right - r.left - size) / 2, r.top + (r.bottom - r.top - size) / 2, size,
             GetSysColor(COLOR_BTNFACE));
  return TRUE;
}

}  // namespace hta::win32
