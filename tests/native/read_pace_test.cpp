// How much a transfer's worker reads at a time: what has arrived on a slow
// link, and up to 64 KiB once the link has shown it brings that quickly.

#include "transfer/read_pace.h"

#include <gtest/gtest.h>

namespace hta::testing {
namespace {

TEST(ReadPaceTest, ReadsAheadOnlyWhatTheLinkBringsInAQuarterSecond) {
  struct Case {
    const char* link;
    std::uint32_t available;
    std::uint64_t bytesSoFar;
    std::uint64_t microsecondsSoFar;
    std::uint32_t read;
  };
  const Case cases[] = {
      {"the first read: no pace yet", 100, 0, 0, 100},
      {"1 KiB/s: what has arrived", 8192, 2048, 2000000, 8192},
      {"100 KiB/s: a quarter second of it", 8192, 102400, 1000000, 25600},
      {"a burst bigger than the pace", 40000, 102400, 1000000, 40000},
      {"loopback: the largest read", 8192, 1 << 20, 10000, kLargestRead},
      {"more arrived than one read takes", 1 << 20, 0, 0, kLargestRead},
      {"a count that would overflow", 1, ~std::uint64_t{0}, 1, kLargestRead},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PacedReadSize(c.available, c.bytesSoFar, c.microsecondsSoFar), c.read) << c.link;
  }
}

}  // namespace
}  // namespace hta::testing
