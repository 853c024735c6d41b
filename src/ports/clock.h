#pragma once

#include <cstdint>

namespace hta {

struct TimeOfDay {
  int hour = 0;    // 0 to 23
  int minute = 0;  // 0 to 59
  int second = 0;  // 0 to 59
};

// Wall clock and sleeping. Never re-enters the core.
class Clock {
 public:
  virtual ~Clock() = default;

  // The current local time of day, read anew on every call.
  virtual TimeOfDay LocalTimeOfDay() = 0;

  // Microseconds since some fixed moment, from a clock that never steps back
  // and ticks finely (well under a millisecond): for measuring short spans.
  virtual std::uint64_t MonotonicMicroseconds() = 0;

  // Blocks the GUI thread for at least `milliseconds` (the platform's sleep
  // granularity applies). Processes no messages: pair it with
  // MessagePump::DoEvents where the window must stay responsive.
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace hta
