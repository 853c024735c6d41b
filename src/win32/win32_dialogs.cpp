#include "win32/win32_dialogs.h"

#include <utility>

namespace hta::win32 {

Win32Dialogs::Win32Dialogs(std::function<HWND()> owner) : owner_(std::move(owner)) {}

void Win32Dialogs::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
  HWND owner = owner_ ? owner_() : nullptr;
  if (owner != nullptr && !IsWindow(owner)) {
    owner = nullptr;
  }
  UINT type = MB_OK;
  if (icon == MessageIcon::Critical) {
    type |= MB_ICONERROR;
  }
  // The texts come from the server: they are shown, never used as a format.
  // MessageBoxA runs its own message loop, so the program's timers and
  // windows stay alive while the box is up (callers are warned of that).
  MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

}  // namespace hta::win32
