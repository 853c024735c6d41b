#include "transfer/read_pace.h"

#include <algorithm>

namespace hta {

std::uint32_t PacedReadSize(std::uint32_t available, std::uint64_t bytesSoFar,
                            std::uint64_t microsecondsSoFar) {
  // Too early to know the link's pace: what has arrived.
  std::uint64_t ahead = 0;
  if (microsecondsSoFar > 0) {
    // Capped before multiplying, so a huge count cannot overflow.
    ahead = std::min<std::uint64_t>(bytesSoFar, std::uint64_t{1} << 40) * kReadAheadMicroseconds /
            microsecondsSoFar;
  }
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(std::max<std::uint64_t>(available, ahead), kLargestRead));
}

}  // namespace hta
