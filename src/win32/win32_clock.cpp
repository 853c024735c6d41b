#include "win32/win32_clock.h"

#include "win32/win32_headers.h"

namespace hta::win32 {

TimeOfDay Win32Clock::LocalTimeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TimeOfDay{now.wHour, now.wMinute, now.wSecond};
}

std::uint64_t Win32Clock::MonotonicMicroseconds() {
  // GetTickCount steps by about 15.6 ms on Windows: too coarse for spans of
  // a few milliseconds.
  static const std::uint64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<std::uint64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const auto ticks = static_cast<std::uint64_t>(now.QuadPart);
  // Split so that the multiplication cannot overflow.
  return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

void Win32Clock::Sleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

}  // namespace hta::win32
