#pragma once

#include <cstdint>

#include "ports/clock.h"

namespace hta::fakes {

// A clock that shows the time the test sets and sleeps without waiting.
class FakeClock final : public Clock {
 public:
  TimeOfDay LocalTimeOfDay() override { return now; }
  void Sleep(std::uint32_t) override {}

  TimeOfDay now{14, 5, 9};
};

}  // namespace hta::fakes
