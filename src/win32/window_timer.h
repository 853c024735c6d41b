#pragma once

#include "win32/win32_headers.h"

namespace hta::win32 {

// Starts or restarts the window's timer `id`; zero stops it, where SetTimer
// alone would turn zero into a 10 ms timer.
inline void ArmWindowTimer(HWND window, UINT_PTR id, unsigned milliseconds) {
  if (milliseconds == 0) {
    KillTimer(window, id);
  } else {
    SetTimer(window, id, milliseconds, nullptr);
  }
}

}  // namespace hta::win32
