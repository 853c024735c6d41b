#pragma once

#include "win32/win32_headers.h"

namespace hta::win32 {

inline constexpr UINT kDefaultDpi = 96;

// Scales a length given for 96 dots per inch to `dpi`.
inline int ScaleForDpi(int value, UINT dpi) {
  return MulDiv(value, static_cast<int>(dpi), kDefaultDpi);
}

// The per-monitor DPI functions of Windows 10 (1607 and later), looked up
// when the object is made because older Windows and older Wine lack them;
// every method falls back to the system-wide answer.
class DpiFunctions {
 public:
  DpiFunctions();

  // The DPI the window is shown at.
  UINT ForWindow(HWND window) const;
  // The DPI that system-wide metrics (SystemParametersInfo, GetSystemMetrics)
  // are expressed in.
  UINT ForSystem() const;
  int SystemMetric(int index, UINT dpi) const;
  // AdjustWindowRectEx at `dpi` (frame widths differ with the DPI).
  bool AdjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) const;

 private:
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  using GetDpiForSystemFn = UINT(WINAPI*)();
  using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
  using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

  GetDpiForWindowFn getDpiForWindow_;
  GetDpiForSystemFn getDpiForSystem_;
  GetSystemMetricsForDpiFn getSystemMetricsForDpi_;
  AdjustWindowRectExForDpiFn adjustWindowRectExForDpi_;
};

}  // namespace hta::win32
