#include "shell/https_policy.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace hta {
namespace {

// The value under one root: nullopt when the key or the value is missing.
std::optional<bool> ReadPolicyValue(RegistryCalls& registry, RegistryRoot root) {
  const std::string keyPath(kPolicyKey);
  RegistryKey key;
  const std::int32_t opened =
      registry.OpenKey(static_cast<std::uint32_t>(root), keyPath.c_str(), kRegistryKeyRead, key);
  if (opened == kRegistryFileNotFound) {
    return std::nullopt;
  }
  if (opened != kRegistrySuccess) {
    return true;
  }
  const std::string name(kRequireHttpsValue);
  std::uint32_t type = 0;
  std::array<std::uint8_t, sizeof(std::uint32_t)> data{};
  std::uint32_t size = data.size();
  const std::int32_t queried = registry.QueryValue(key, name.c_str(), type, data, size);
  registry.CloseKey(key);
  if (queried == kRegistryFileNotFound) {
    return std::nullopt;
  }
  if (queried != kRegistrySuccess || type != kRegistryDword || size != data.size()) {
    return true;
  }
  std::uint32_t number = 0;
  std::memcpy(&number, data.data(), sizeof number);
  return number != 0;
}

}  // namespace

bool ReadRequireHttpsPolicy(RegistryCalls& registry) {
  if (const std::optional<bool> machine = ReadPolicyValue(registry, RegistryRoot::LocalMachine)) {
    return *machine;
  }
  return ReadPolicyValue(registry, RegistryRoot::CurrentUser).value_or(false);
}

}  // namespace hta
