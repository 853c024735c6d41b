#pragma once

#include <cstdint>
#include <string>

#include "ports/registry.h"

namespace hta {

// Reads one registry value as text (ReadRegString):
// - a root that is not one of the predefined keys (HKEY_CLASSES_ROOT to
//   HKEY_DYN_DATA) gives the empty text without touching the registry;
// - a key that cannot be opened for reading, a missing value, and a value
//   whose data needs more than 255 bytes give the empty text;
// - a 32-bit number (REG_DWORD) gives its signed decimal text ("42", "-1");
// - any other type gives its data without the terminating NUL (a value
//   stored without one keeps all its bytes); no data gives the empty text.
// The key is closed again whatever happened.
std::string ReadRegString(RegistryCalls& registry, std::uint32_t root, const std::string& subKey,
                          const std::string& valueName);

}  // namespace hta
