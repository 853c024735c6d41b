#include "win32/win32_clock.h"

#include "win32/win32_headers.h"

namespace hta::win32 {

TimeOfDay Win32Clock::LocalTimeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TimeOfDay{now.wHour, now.wMinute, now.wSecond};
}

void Win32Clock::Sleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

}  // namespace hta::win32
