#pragma once

#include <cstdint>
#include <string_view>

namespace hta {

// The largest sound the launcher plays: it is held in memory while it
// plays. Notification sounds are a few hundred kilobytes.
inline constexpr std::int64_t kLargestSound = 16 * 1024 * 1024;

// Whether `bytes` are a whole wave file that the sound call may be given
// in memory: "RIFF" of type "WAVE" whose length fits the bytes, every chunk
// inside it, a "fmt " chunk of at least 16 bytes (whose extra format bytes,
// when it names them, lie inside it) and a "data" chunk. The sound call
// trusts the lengths a file in memory states, so a file that lies about
// them would have it read past the bytes.
bool IsWholeWave(std::string_view bytes);

}  // namespace hta
