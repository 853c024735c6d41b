#pragma once

#include <string>

namespace hta {

enum class MessageIcon { None, Critical };

// Modal message boxes with a single OK button.
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Shows `text` under `caption` and returns when the user has closed the
  // box. The box is modal to the program's windows, but the message loop runs
  // while it is up.
  //
  // RE-ENTRY: like MessagePump::DoEvents, timer ticks and clicks on other
  // windows may be handled before this returns.
  virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
};

}  // namespace hta
