// IsWholeWave over arbitrary bytes: a sound file comes from the server, and
// the check must itself read nothing past them (the sanitizers watch). A
// file it passes is walked once more, more simply, and every chunk must lie
// inside the bytes, as the sound call will trust it does.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "actions/wave_image.h"

namespace {

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

std::uint64_t Little32(const std::string& bytes, std::size_t at) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= std::uint64_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (!hta::IsWholeWave(bytes)) {
    return 0;
  }
  const std::uint64_t end = 8 + Little32(bytes, 4);
  Check(end <= bytes.size());
  for (std::uint64_t at = 12; at + 8 <= end;
       at += 8 + Little32(bytes, at + 4) + (Little32(bytes, at + 4) & 1)) {
    Check(at + 8 + Little32(bytes, at + 4) <= end);
  }
  return 0;
}
