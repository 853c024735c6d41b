#pragma once

#include <memory>
#include <string>

namespace hta {

// What the user does to one popup. The core implements this per popup; the
// window calls it on the GUI thread, possibly from inside a DoEvents of a fade.
class PopupEvents {
 public:
  virtual ~PopupEvents() = default;
  virtual void lblMessage_Click() = 0;
  virtual void lblClose_Click() = 0;
  virtual void Form_Click() = 0;
  virtual void Timer1_Timer() = 0;
};

// One popup window (`frmMessage`): borderless, layered, top-most, never
// activated. Created hidden; destroyed with its owner object. No method runs
// the message loop or calls back into PopupEvents.
class PopupWindow {
 public:
  virtual ~PopupWindow() = default;

  virtual void SetText(const std::string& text) = 0;
  // Hand cursor over the text and the border around it.
  virtual void ShowLink() = 0;
  // Layered opacity, 0 (transparent) to 255; failures are ignored.
  virtual void SetAlpha(int alpha) = 0;
  virtual void SetTopMost(bool topMost) = 0;
  // Position of the top-left corner, in screen pixels.
  virtual void MoveTo(int left, int top) = 0;
  // Shows the window without activating it.
  virtual void ShowNoActivate() = 0;
  // (Re)starts the popup's own timer; 0 stops it.
  virtual void SetTimer(unsigned milliseconds) = 0;
};

struct ScreenMetrics {
  int width = 0;         // work screen size, pixels
  int height = 0;
  int popupWidth = 0;    // a popup's size at this screen's DPI, pixels
  int popupHeight = 0;
};

// Makes popup windows.
class PopupFactory {
 public:
  virtual ~PopupFactory() = default;
  // `events` must outlive the window.
  virtual std::unique_ptr<PopupWindow> Create(PopupEvents& events) = 0;
  virtual ScreenMetrics Metrics() = 0;
};

}  // namespace hta
