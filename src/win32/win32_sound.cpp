#include "win32/win32_sound.h"

#include "win32/win32_headers.h"

// After windows.h, whose types it needs; WIN32_LEAN_AND_MEAN leaves it out.
#include <mmsystem.h>

namespace hta::win32 {

// The port's flags are the call's own values.
static_assert(kSoundAsync == SND_ASYNC);
static_assert(kSoundNoDefault == SND_NODEFAULT);

bool Win32Sound::PlaySoundFile(const std::string& path, std::uint32_t flags) {
  return sndPlaySoundA(path.c_str(), flags) != FALSE;
}

}  // namespace hta::win32
