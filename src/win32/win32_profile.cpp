#include "win32/win32_profile.h"

#include <algorithm>
#include <cstdint>

#include "win32/win32_headers.h"

namespace hta::win32 {

std::size_t Win32Profile::ProfileRead(const char* section, const char* key, const char* defaultValue,
                                      std::span<char> buffer, const char* fileName) {
  if (buffer.empty()) {
    return 0;
  }
  // The call takes a 32-bit size; a larger buffer is simply used in part.
  const auto size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), UINT32_MAX));
  const DWORD copied = GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), size, fileName);
  return std::min<std::size_t>(copied, size);
}

bool Win32Profile::ProfileWrite(const char* section, const char* key, const char* value,
                                const char* fileName) {
  return WritePrivateProfileStringA(section, key, value, fileName) != FALSE;
}

}  // namespace hta::win32
