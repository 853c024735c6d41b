#pragma once

#include <cstdint>
#include <string>

namespace hta {

inline constexpr std::uint32_t kSoundAsync = 0x1;      // SND_ASYNC
inline constexpr std::uint32_t kSoundNoDefault = 0x2;  // SND_NODEFAULT

// Sound output. Never re-enters the core.
class Sound {
 public:
  virtual ~Sound() = default;

  // sndPlaySoundA: with kSoundAsync it starts playing and returns at once.
  virtual bool PlaySoundFile(const std::string& path, std::uint32_t flags) = 0;
};

}  // namespace hta
