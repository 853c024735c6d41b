#include "win32/dpi.h"

#include "win32/handles.h"

namespace hta::win32 {

DpiFunctions::DpiFunctions()
    : getDpiForWindow_(SystemFunction<GetDpiForWindowFn>("user32.dll", "GetDpiForWindow")),
      getDpiForSystem_(SystemFunction<GetDpiForSystemFn>("user32.dll", "GetDpiForSystem")),
      getSystemMetricsForDpi_(
          SystemFunction<GetSystemMetricsForDpiFn>("user32.dll", "GetSystemMetricsForDpi")),
      adjustWindowRectExForDpi_(
          SystemFunction<AdjustWindowRectExForDpiFn>("user32.dll", "AdjustWindowRectExForDpi")) {}

UINT DpiFunctions::ForSystem() const {
  if (getDpiForSystem_ != nullptr) {
    return getDpiForSystem_();
  }
  WindowDc screen(nullptr);
  int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

UINT DpiFunctions::ForWindow(HWND window) const {
  if (getDpiForWindow_ != nullptr && window != nullptr) {
    UINT dpi = getDpiForWindow_(window);
    if (dpi != 0) {
      return dpi;
    }
  }
  return ForSystem();
}

int DpiFunctions::SystemMetric(int index, UINT dpi) const {
  if (getSystemMetricsForDpi_ != nullptr) {
    return getSystemMetricsForDpi_(index, dpi);
  }
  return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(ForSystem()));
}

bool DpiFunctions::AdjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) const {
  if (adjustWindowRectExForDpi_ != nullptr) {
    return adjustWindowRectExForDpi_(&rect, style, FALSE, exStyle, dpi) != FALSE;
  }
  return AdjustWindowRectEx(&rect, style, FALSE, exStyle) != FALSE;
}

}  // namespace hta::win32
