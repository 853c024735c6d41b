#pragma once

#include <cstdint>

#include "ports/clock.h"

namespace hta::win32 {

class Win32Clock final : public Clock {
 public:
  TimeOfDay LocalTimeOfDay() override;
  std::uint64_t MonotonicMicroseconds() override;
  void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace hta::win32
