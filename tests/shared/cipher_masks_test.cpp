// Built into both the native and the Windows suites: a stored password only
// decrypts on every machine if every build computes the same masks, whatever
// its C library's sine does in the last bits.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "crypto/cipher.h"

namespace hta {
namespace {

// FNV-1a over the masks of positions 1 to `last`.
std::uint64_t MaskDigest(std::size_t last) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (std::size_t position = 1; position <= last; ++position) {
    hash ^= CipherMask(position);
    hash *= 1099511628211ULL;
  }
  return hash;
}

TEST(CipherMasksTest, FirstMillionPositionsMatchTheReferenceDigest) {
  // Computed once with the host's sine and checked against a quad-precision
  // sine rounded to double: every mask up to here is the correctly rounded
  // one. Among them the ones sine implementations get wrong first: 573204,
  // where |sin| * 255 is 254.99999999998..., the closest call to a mask
  // boundary (254), and positions near whole multiples of pi, where a short
  // argument reduction is furthest off (355 and 833719 stay 0).
  EXPECT_EQ(MaskDigest(1000000), 0x18d28e7efa10237aULL);
}

}  // namespace
}  // namespace hta
