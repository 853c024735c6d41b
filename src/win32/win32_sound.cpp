#include "win32/win32_sound.h"

#include <utility>

#include "win32/win32_headers.h"

// After windows.h, whose types it needs; WIN32_LEAN_AND_MEAN leaves it out.
#include <mmsystem.h>

namespace hta::win32 {

// The port's flags are the call's own values.
static_assert(kSoundAsync == SND_ASYNC);
static_assert(kSoundNoDefault == SND_NODEFAULT);

namespace {

// Stops the sound that plays, if any; its bytes are free to go afterwards.
void StopSound() {
  sndPlaySoundW(nullptr, 0);
}

}  // namespace

Win32Sound::~Win32Sound() {
  StopSound();
}

bool Win32Sound::PlayWave(std::string wave, std::uint32_t flags) {
  StopSound();
  playing_ = std::move(wave);
  // With SND_MEMORY the "name" is the file's image.
  return sndPlaySoundW(reinterpret_cast<const wchar_t*>(playing_.data()), flags | SND_MEMORY) != FALSE;
}

}  // namespace hta::win32
