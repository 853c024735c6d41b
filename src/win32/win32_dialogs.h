#pragma once

#include <functional>
#include <string>

#include "ports/dialogs.h"
#include "win32/win32_headers.h"

namespace hta::win32 {

// Message boxes through MessageBoxA, owned by the program's main window when
// one exists, so the box is modal to it and comes up in front of it.
class Win32Dialogs final : public Dialogs {
 public:
  // `owner` answers the window to own the boxes, or null for none; it is
  // asked anew for every box because the main window comes and goes.
  explicit Win32Dialogs(std::function<HWND()> owner);

  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;

 private:
  std::function<HWND()> owner_;
};

}  // namespace hta::win32
