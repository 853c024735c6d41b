#pragma once

#include <cstdint>
#include <string>

#include "ports/sound.h"

namespace hta::win32 {

// The sound port over sndPlaySoundA.
class Win32Sound final : public Sound {
 public:
  bool PlaySoundFile(const std::string& path, std::uint32_t flags) override;
};

}  // namespace hta::win32
