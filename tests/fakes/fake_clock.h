#pragma once

#include <cstdint>

#include "ports/clock.h"

namespace hta::fakes {

// A clock that shows the time the test sets and sleeps without waiting. Its
// monotonic time moves on by `monotonicStep` at every reading.
class FakeClock final : public Clock {
 public:
  TimeOfDay LocalTimeOfDay() override { return now; }
  std::uint64_t MonotonicMicroseconds() override { return monotonic += monotonicStep; }
  void Sleep(std::uint32_t) override {}

  TimeOfDay now{14, 5, 9};
  std::uint64_t monotonic = 0;
  std::uint64_t monotonicStep = 2000;
};

}  // namespace hta::fakes
