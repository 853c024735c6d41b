#pragma once

#include <memory>
#include <string>

namespace hta {

// What the user and the popup's timer do to one popup (`PopupMessage`). The
// core implements this per popup; the window calls it on the GUI thread from
// its message handling, which may be inside a MessagePump::DoEvents of a
// fade of this very popup. A handler may end the popup: the window must not
// touch the handler object after a call returns unless the core calls the
// window again.
class PopupEvents {
 public:
  virtual ~PopupEvents() = default;
  // A click on the message text.
  virtual void MessageClicked() = 0;
  // A click on the "x" strip along the right edge.
  virtual void CloseClicked() = 0;
  // A click anywhere else on the popup.
  virtual void BackgroundClicked() = 0;
  // The timer armed with SetTimer is due; it keeps running until stopped.
  virtual void TimerTick() = 0;
};

// One popup window: borderless, layered, top-most, a tool window that never
// takes the activation or the keyboard focus. Created hidden, at alpha 255,
// at its full size; the window is destroyed with this object (which may
// happen right after an event handler returns, while the window's own
// message handling is still on the stack). No method runs the message loop
// or calls back into PopupEvents; no method throws.
class PopupWindow {
 public:
  virtual ~PopupWindow() = default;

  // The message text, word-wrapped in the message area.
  virtual void SetText(const std::string& text) = 0;

  // Marks the popup as a link: the hand cursor over the text and the border
  // around it. False when the system hand cursor could not be loaded; the
  // popup then shows neither (and still reports clicks on its text).
  virtual bool ShowLink() = 0;

  // Layered opacity: 0 transparent to 255 opaque. A value outside that range,
  // or a platform that refuses, leaves the former opacity: failures are
  // ignored, as the popup still works opaque.
  virtual void SetTranslucent(int alpha) = 0;

  // Top-most or not, keeping position and size. False when the platform
  // refused; nothing else is reported (there is no error channel to raise
  // into, and a popup that is not top-most still works).
  virtual bool SetTopMostWindow(bool topMost) = 0;

  // Puts the top-left corner at (left, top), screen pixels; size unchanged.
  virtual void MoveTo(int left, int top) = 0;

  // Shows the window without activating it (the active window keeps the
  // focus).
  virtual void ShowNoActivate() = 0;

  // (Re)starts the popup's own periodic timer with `milliseconds`; 0 stops
  // it. Ticks arrive as PopupEvents::TimerTick.
  virtual void SetTimer(unsigned milliseconds) = 0;
};

// Where popups go, in screen pixels.
struct PopupScreen {
  // The work area (the screen without the task bar) of the monitor that
  // popups appear on: right and bottom are one past the last pixel.
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  // That monitor's dots per inch (96 at 100 %); popups are sized for it.
  int dpi = 96;
};

// Makes popup windows.
class PopupFactory {
 public:
  virtual ~PopupFactory() = default;

  // A new hidden popup sized for Screen().dpi, or null when the platform
  // refused. `events` must outlive the window.
  virtual std::unique_ptr<PopupWindow> Create(PopupEvents& events) = 0;

  // Read anew on every call: the screen may change between two popups.
  virtual PopupScreen Screen() = 0;
};

}  // namespace hta
