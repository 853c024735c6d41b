#pragma once

#include <memory>
#include <string>

#include "popup/popup_layout.h"
#include "ports/popup_window.h"
#include "win32/dpi.h"
#include "win32/handles.h"

namespace hta::win32 {

// PopupMessage's window: a WS_POPUP that is layered, top-most, a tool window
// (no task-bar button) and never activated (WS_EX_NOACTIVATE, MA_NOACTIVATE,
// shown with SW_SHOWNOACTIVATE), so a popup never takes the keyboard focus
// from what the user is typing into. It paints the background picture at
// the top left, the message text, the "x" strip, the border of a link and a
// thin black frame, all sized from the designed twips at its DPI.
//
// The object may be destroyed from inside one of its own event calls (the
// core closes the popup there); the window procedure touches nothing of the
// object after an event call returns.
class Win32Popup final : public PopupWindow {
 public:
  static constexpr const char* kClassName = "HtaLauncherPopup";
  // The one timer of the window.
  static constexpr UINT_PTR kTimerId = 1;

  Win32Popup(PopupEvents& events, int dpi, HBITMAP background);
  ~Win32Popup() override;
  Win32Popup(const Win32Popup&) = delete;
  Win32Popup& operator=(const Win32Popup&) = delete;

  // Creates the window, hidden, at (0, 0) with its full size and alpha 255.
  bool Create(HINSTANCE instance, ATOM windowClass);
  // The window, or null before Create and after it was destroyed.
  HWND Handle() const { return window_.get(); }
  int Dpi() const { return dpi_; }
  // The background picture was found (tests look at this).
  bool HasBackground() const { return background_ != nullptr; }

  // PopupWindow
  void SetText(const std::string& text) override;
  bool ShowLink() override;
  void SetTranslucent(int alpha) override;
  bool SetTopMostWindow(bool topMost) override;
  void MoveTo(int left, int top) override;
  void ShowNoActivate() override;
  void SetTimer(unsigned milliseconds) override;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  enum class Part { None, Message, Close, Background };

  LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaint(HWND window) const;
  // Shows the hand over the message of a link; false when the cursor is
  // elsewhere or the popup is no link.
  bool SetLinkCursor(HWND window) const;
  // Raises the click of the part pressed and released at `point`, if any.
  // May destroy the object.
  void OnButtonUp(POINT point);
  Part HitTest(POINT point) const;
  void Paint(HDC dc) const;

  PopupEvents& events_;
  const int dpi_;
  HBITMAP background_;  // the factory's; not owned
  OwnedWindow window_;
  OwnedFont messageFont_;
  OwnedFont closeFont_;
  HCURSOR hand_ = nullptr;  // a shared system cursor: never destroyed
  std::string text_;
  bool link_ = false;
  Part pressed_ = Part::None;
  PixelRect message_;
  PixelRect close_;
  PixelRect border_;
  int width_ = 0;
  int height_ = 0;
};

// Makes the popups and answers where they go. Must outlive every window it
// made: it owns their window class and background picture. One at a time in
// a process, as it registers the class by its fixed name.
class Win32PopupFactory final : public PopupFactory {
 public:
  // `resources`: the module that holds the background picture
  // (IDB_POPUP_BACKGROUND); the program itself passes its own instance.
  // Without the picture the popups show a plain background.
  Win32PopupFactory(HINSTANCE instance, HMODULE resources);
  Win32PopupFactory(const Win32PopupFactory&) = delete;
  Win32PopupFactory& operator=(const Win32PopupFactory&) = delete;

  std::unique_ptr<PopupWindow> Create(PopupEvents& events) override;
  // The primary monitor's work area at the system DPI (the DPI the primary
  // monitor had at log-on, which is what a system-aware program's
  // coordinates are expressed in).
  PopupScreen Screen() override;

 private:
  HINSTANCE instance_;
  HMODULE resources_;
  DpiFunctions dpi_;
  RegisteredClass class_;
  OwnedBitmap background_;
  bool backgroundTried_ = false;
};

}  // namespace hta::win32
