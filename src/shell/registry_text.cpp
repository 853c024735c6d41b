#include "shell/registry_text.h"

#include <array>
#include <cstring>
#include <span>

namespace hta {
namespace {

// The buffer the value is read into: a value needing more reads as absent.
constexpr std::uint32_t kValueBufferSize = 255;

bool IsPredefinedRoot(std::uint32_t root) {
  return root >= static_cast<std::uint32_t>(RegistryRoot::ClassesRoot) &&
         root <= static_cast<std::uint32_t>(RegistryRoot::DynData);
}

}  // namespace

std::string ReadRegString(RegistryCalls& registry, std::uint32_t root, const std::string& subKey,
                          const std::string& valueName) {
  if (!IsPredefinedRoot(root)) {
    return std::string();
  }
  RegistryKey key;
  if (registry.OpenKey(root, subKey.c_str(), kRegistryKeyRead, key) != kRegistrySuccess || !key) {
    return std::string();
  }

  std::string text;
  std::array<std::uint8_t, kValueBufferSize> buffer{};
  std::uint32_t type = 0;
  std::uint32_t size = kValueBufferSize;
  if (registry.QueryValue(key, valueName.c_str(), type, buffer, size) == kRegistrySuccess) {
    if (type == kRegistryDword) {
      // The number is already in the buffer, in the platform's byte order;
      // a DWORD value of another size is not a number.
      if (size == sizeof(std::int32_t)) {
        std::int32_t value = 0;
        std::memcpy(&value, buffer.data(), sizeof value);
        text = std::to_string(value);
      }
    } else {
      // A size beyond the buffer cannot come with success; it is capped all
      // the same rather than trusted.
      std::size_t length = size < kValueBufferSize ? size : kValueBufferSize;
      if (length > 0 && buffer[length - 1] == 0) {
        --length;
      }
      text.assign(reinterpret_cast<const char*>(buffer.data()), length);
    }
  }
  registry.CloseKey(key);
  return text;
}

}  // namespace hta
