#pragma once

#include <cstddef>
#include <cstdint>

#include "ports/clock.h"

namespace hta::fakes {

// A clock that shows the time the test sets and sleeps without waiting.
class FakeClock final : public Clock {
 public:
  TimeOfDay LocalTimeOfDay() override {
    ++reads;
    return now;
  }
  void Sleep(std::uint32_t milliseconds) override { slept += milliseconds; }

  TimeOfDay now{14, 5, 9};
  std::size_t reads = 0;
  std::uint64_t slept = 0;
};

}  // namespace hta::fakes
