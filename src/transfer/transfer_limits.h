#pragma once

#include <cstddef>
#include <cstdint>

namespace hta {

// How long and how large a transfer may be. A server that never answers, or
// answers a byte at a time, or without end, must not hold a transfer (and
// with it the program's polling) for ever, nor fill its memory or disk.
struct TransferLimits {
  // Connect, send and receive time limits of every connection, each.
  std::uint32_t callMilliseconds = 30000;
  // A transfer fails once this long passes without `leastBytes` arriving.
  std::uint64_t slowWindowMicroseconds = 60000000;
  std::uint32_t leastBytes = 1024;
  // The longest syncGET body, and the longest file a download writes.
  std::size_t textBytes = std::size_t{16} << 20;
  std::uint64_t fileBytes = std::uint64_t{256} << 20;
};

// The limits of every control.
inline constexpr TransferLimits kTransferLimits{};

}  // namespace hta
