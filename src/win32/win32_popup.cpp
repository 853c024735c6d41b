#include "win32/win32_popup.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "win32/resource_ids.h"
#include "win32/window_timer.h"

#include <windowsx.h>  // GET_X_LPARAM, after the Windows headers

namespace hta::win32 {
namespace {

constexpr DWORD kStyle = WS_POPUP;
constexpr DWORD kExStyle = WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;

constexpr COLORREF kCloseColour = RGB(128, 128, 128);
constexpr COLORREF kBorderColour = RGB(0x1C, 0x4F, 0xC4);  // the brand blue of the artwork
constexpr COLORREF kFrameColour = RGB(0, 0, 0);

RECT ToRect(const PixelRect& r) {
  return RECT{r.left, r.top, r.right, r.bottom};
}

OwnedFont MakeFont(double points, int dpi) {
  LOGFONTA font{};
  font.lfHeight = -static_cast<LONG>(std::lround(points * dpi / 72.0));
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynA(font.lfFaceName, "Tahoma", LF_FACESIZE);
  return OwnedFont(CreateFontIndirectA(&font));
}

// A memory device context, deleted again when it goes.
class MemoryDc {
 public:
  explicit MemoryDc(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
  ~MemoryDc() {
    if (dc_ != nullptr) {
      DeleteDC(dc_);
    }
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HDC dc_;
};

bool Inside(const PixelRect& r, POINT p) {
  return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

}  // namespace

Win32Popup::Win32Popup(PopupEvents& events, int dpi, HBITMAP background)
    : events_(events),
      dpi_(dpi),
      background_(background),
      message_(ToPixels(kMessageTwips, dpi)),
      close_(ToPixels(kCloseTwips, dpi)),
      border_(ToPixels(kBorderTwips, dpi)),
      width_(PopupWidthPixels(dpi)),
      height_(PopupHeightPixels(dpi)) {}

Win32Popup::~Win32Popup() {
  if (window_) {
    // Messages that destroying the window sends must not reach an object
    // that is going away.
    SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
    KillTimer(window_.get(), kTimerId);
  }
}

bool Win32Popup::Create(HINSTANCE instance, ATOM windowClass) {
  messageFont_ = MakeFont(kMessageFontPoints, dpi_);
  closeFont_ = MakeFont(kCloseFontPoints, dpi_);
  HWND window = CreateWindowExA(kExStyle, MAKEINTATOM(windowClass), "Form1", kStyle, 0, 0, width_, height_,
                                nullptr, nullptr, instance, this);
  if (window == nullptr) {
    return false;
  }
  window_.reset(window);
  // A layered window shows nothing until its attributes are set.
  SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
  return true;
}

void Win32Popup::SetText(const std::string& text) {
  text_ = text;
  if (window_) {
    InvalidateRect(window_.get(), nullptr, FALSE);
  }
}

bool Win32Popup::ShowLink() {
  hand_ = LoadCursorA(nullptr, IDC_HAND);
  // No hand cursor, no border either: the popup then looks plain, as it
  // always did on systems without that cursor.
  link_ = hand_ != nullptr;
  if (window_) {
    InvalidateRect(window_.get(), nullptr, FALSE);
  }
  return link_;
}

void Win32Popup::SetTranslucent(int alpha) {
  if (!window_ || alpha < 0 || alpha > 255) {
    return;
  }
  HWND window = window_.get();
  const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  if ((exStyle & WS_EX_LAYERED) == 0) {
    SetWindowLongA(window, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
  }
  // Failure leaves the former opacity, which is all anyone could do.
  SetLayeredWindowAttributes(window, 0, static_cast<BYTE>(alpha), LWA_ALPHA);
}

bool Win32Popup::SetTopMostWindow(bool topMost) {
  if (!window_) {
    return false;
  }
  // SWP_NOACTIVATE on top of keep-position and keep-size: a popup never
  // takes the activation.
  return SetWindowPos(window_.get(), topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                      SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE) != FALSE;
}

void Win32Popup::MoveTo(int left, int top) {
  if (window_) {
    SetWindowPos(window_.get(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Win32Popup::ShowNoActivate() {
  if (window_) {
    ShowWindow(window_.get(), SW_SHOWNOACTIVATE);
    UpdateWindow(window_.get());
  }
}

void Win32Popup::SetTimer(unsigned milliseconds) {
  if (window_) {
    ArmWindowTimer(window_.get(), kTimerId, milliseconds);
  }
}

Win32Popup::Part Win32Popup::HitTest(POINT point) const {
  // The "x" strip overlaps nothing else; it is tested first all the same,
  // as it is the one that must always work.
  if (Inside(close_, point)) {
    return Part::Close;
  }
  if (Inside(message_, point)) {
    return Part::Message;
  }
  if (point.x >= 0 && point.y >= 0 && point.x < width_ && point.y < height_) {
    return Part::Background;
  }
  return Part::None;
}

void Win32Popup::Paint(HDC dc) const {
  // The background outside the picture is the form's own colour.
  RECT all{0, 0, width_, height_};
  FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));

  if (background_ != nullptr) {
    MemoryDc source(dc);
    BITMAP info{};
    if (source && GetObjectA(background_, sizeof info, &info) != 0) {
      ScopedSelect selected(source.get(), background_);
      const int width = ScaleForDpi(kBackgroundWidth96, static_cast<UINT>(dpi_));
      const int height = ScaleForDpi(kBackgroundHeight96, static_cast<UINT>(dpi_));
      SetStretchBltMode(dc, HALFTONE);
      SetBrushOrgEx(dc, 0, 0, nullptr);
      StretchBlt(dc, 0, 0, width, height, source.get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    }
  }

  if (link_) {
    OwnedBrush brush(CreateSolidBrush(kBorderColour));
    RECT border = ToRect(border_);
    FrameRect(dc, &border, brush.get());
  }

  SetBkMode(dc, TRANSPARENT);
  {
    ScopedSelect font(dc, messageFont_.get());
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    RECT text = ToRect(message_);
    DrawTextA(dc, text_.c_str(), static_cast<int>(text_.size()), &text,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
  }
  {
    ScopedSelect font(dc, closeFont_.get());
    SetTextColor(dc, kCloseColour);
    // Centred in the part of the strip that lies inside the window.
    RECT strip{close_.left, close_.top, std::min(close_.right, width_ - 1), close_.bottom};
    DrawTextA(dc, "x", 1, &strip, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  }

  // Last, the black outline from (1, 1) to (width - 2, height - 2),
  // in pixels, both ends included.
  OwnedBrush frame(CreateSolidBrush(kFrameColour));
  RECT outline{1, 1, width_ - 1, height_ - 1};
  FrameRect(dc, &outline, frame.get());
}

LRESULT CALLBACK Win32Popup::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Popup*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  return self->OnMessage(window, message, wParam, lParam);
}

LRESULT Win32Popup::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Every branch that calls into PopupEvents returns straight after the
  // call: the handler may have destroyed this object and its window.
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT:
      OnPaint(window);
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT && SetLinkCursor(window)) {
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
      // A click is a press and a release on the same part, as with labels.
      pressed_ = HitTest(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_LBUTTONUP:
      OnButtonUp(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_TIMER:
      if (wParam == kTimerId) {
        events_.TimerTick();
        return 0;
      }
      break;
    case WM_CLOSE:
      // Whoever asks the popup to close gets what "x" does; the core owns
      // the window's end, so DefWindowProc must not destroy it.
      events_.CloseClicked();
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      // Destroyed by someone else: nothing left to destroy later.
      window_.release();
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Win32Popup::OnPaint(HWND window) const {
  PaintScope paint(window);
  // Drawn off screen first, so a repaint during a fade does not flicker.
  MemoryDc memory(paint.get());
  OwnedBitmap canvas(CreateCompatibleBitmap(paint.get(), width_, height_));
  if (memory && canvas) {
    ScopedSelect selected(memory.get(), canvas.get());
    Paint(memory.get());
    BitBlt(paint.get(), 0, 0, width_, height_, memory.get(), 0, 0, SRCCOPY);
  } else {
    Paint(paint.get());
  }
}

bool Win32Popup::SetLinkCursor(HWND window) const {
  if (!link_) {
    return false;
  }
  POINT point;
  GetCursorPos(&point);
  ScreenToClient(window, &point);
  if (HitTest(point) != Part::Message) {
    return false;
  }
  SetCursor(hand_);
  return true;
}

void Win32Popup::OnButtonUp(POINT point) {
  const Part released = HitTest(point);
  const Part pressed = std::exchange(pressed_, Part::None);
  if (released != pressed) {
    return;
  }
  // The event is the last thing done here: its handler may destroy the
  // object.
  PopupEvents& events = events_;
  switch (released) {
    case Part::Close:
      events.CloseClicked();
      break;
    case Part::Message:
      events.MessageClicked();
      break;
    case Part::Background:
      events.BackgroundClicked();
      break;
    case Part::None:
      break;
  }
}

Win32PopupFactory::Win32PopupFactory(HINSTANCE instance, HMODULE resources)
    : instance_(instance), resources_(resources) {}

std::unique_ptr<PopupWindow> Win32PopupFactory::Create(PopupEvents& events) {
  if (!class_) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Popup::WindowProc;
    wc.hInstance = instance_;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);  // shared, never destroyed
    wc.lpszClassName = Win32Popup::kClassName;
    class_ = RegisteredClass(instance_, RegisterClassExA(&wc));
    if (!class_) {
      return nullptr;
    }
  }
  if (!backgroundTried_) {
    backgroundTried_ = true;
    if (resources_ != nullptr) {
      background_.reset(static_cast<HBITMAP>(
          LoadImageA(resources_, MAKEINTRESOURCEA(IDB_POPUP_BACKGROUND), IMAGE_BITMAP, 0, 0, 0)));
    }
  }
  auto popup = std::make_unique<Win32Popup>(events, Screen().dpi, background_.get());
  if (!popup->Create(instance_, class_.atom())) {
    return nullptr;
  }
  return popup;
}

PopupScreen Win32PopupFactory::Screen() {
  PopupScreen screen;
  screen.dpi = static_cast<int>(dpi_.ForSystem());
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  if (primary != nullptr && GetMonitorInfoA(primary, &info)) {
    screen.left = info.rcWork.left;
    screen.top = info.rcWork.top;
    screen.right = info.rcWork.right;
    screen.bottom = info.rcWork.bottom;
  } else {
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    screen.left = work.left;
    screen.top = work.top;
    screen.right = work.right;
    screen.bottom = work.bottom;
  }
  return screen;
}

}  // namespace hta::win32
