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

  // sndPlaySound of a wave file held in memory (SND_MEMORY): `wave` is the
  // whole file, which the caller has checked (IsWholeWave of
  // actions/wave_image.h), and which the port keeps for as long as it
  // plays. With kSoundAsync it starts playing and returns at once. false
  // when the call reports a failure.
  virtual bool PlayWave(std::string wave, std::uint32_t flags) = 0;
};

}  // namespace hta
