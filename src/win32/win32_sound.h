#pragma once

#include <cstdint>
#include <string>

#include "ports/sound.h"

namespace hta::win32 {

// The sound port over sndPlaySoundW with SND_MEMORY. The bytes are kept
// until the next sound replaces them or the object goes, the sound being
// stopped first either way, so the call never reads freed memory.
class Win32Sound final : public Sound {
 public:
  Win32Sound() = default;
  ~Win32Sound() override;
  Win32Sound(const Win32Sound&) = delete;
  Win32Sound& operator=(const Win32Sound&) = delete;

  bool PlayWave(std::string wave, std::uint32_t flags) override;

 private:
  std::string playing_;
};

}  // namespace hta::win32
