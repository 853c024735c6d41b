#pragma once

#include <cstdint>

namespace hta {

// How much a transfer's worker asks for in its next read.
//
// A blocking read returns only once it has every byte it asked for, so a
// read of more than has arrived holds back the bytes it has until the rest
// comes. Asking for only what has arrived keeps a slow link's bytes flowing,
// but on a fast link it is costly: under Wine what has arrived is never more
// than WinINet's 8 KiB buffer, and each refill is a server round trip. So a
// read asks for what has arrived, or for what the link brought in
// kReadAheadMicroseconds at its pace so far when that is more, up to
// kLargestRead. It then waits about that long, unless the link slows down
// sharply during it; the exchange's quiet limit bounds that case.
inline constexpr std::uint32_t kLargestRead = 64 * 1024;
inline constexpr std::uint64_t kReadAheadMicroseconds = 250000;

// `available`: bytes that have arrived and not been read; `bytesSoFar` read
// in `microsecondsSoFar` since the body began to arrive. Never 0 when
// `available` is not; never more than kLargestRead.
std::uint32_t PacedReadSize(std::uint32_t available, std::uint64_t bytesSoFar,
                            std::uint64_t microsecondsSoFar);

}  // namespace hta
