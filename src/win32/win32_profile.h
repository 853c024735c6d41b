#pragma once

#include <cstddef>
#include <span>

#include "ports/profile.h"

namespace hta::win32 {

// The profile port over GetPrivateProfileStringA and
// WritePrivateProfileStringA, passed through unchanged.
class Win32Profile final : public ProfileCalls {
 public:
  std::size_t ProfileRead(const char* section, const char* key, const char* defaultValue,
                          std::span<char> buffer, const char* fileName) override;
  bool ProfileWrite(const char* section, const char* key, const char* value, const char* fileName) override;
};

}  // namespace hta::win32
