#pragma once

#include <cstddef>
#include <span>

#include "ports/profile.h"

namespace hta::win32 {

// The profile port over GetPrivateProfileStringW and
// WritePrivateProfileStringW: the file name is a UTF-8 path, the other
// texts go in and come back in the ANSI code page, so the file's bytes are
// read and written as the ANSI calls would.
class Win32Profile final : public ProfileCalls {
 public:
  std::size_t ProfileRead(const char* section, const char* key, const char* defaultValue,
                          std::span<char> buffer, const char* fileName) override;
  bool ProfileWrite(const char* section, const char* key, const char* value, const char* fileName) override;
};

}  // namespace hta::win32
