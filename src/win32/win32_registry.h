#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "ports/registry.h"
#include "win32/handles.h"
#include "win32/win32_headers.h"

namespace hta::win32 {

// The handle of a predefined root key (HKEY_CURRENT_USER ...) from its
// 32-bit number. Windows defines those handles as the number sign-extended
// to the pointer's width, so 0x80000001 becomes 0xFFFFFFFF80000001 on 64-bit
// Windows: a plain zero-extending cast would name no key at all.
inline HKEY RootKey(std::uint32_t root) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

// Closes a registry key this program opened or created. Never for a
// predefined root key: those belong to the system and closing one would
// break every later call through it.
struct CloseRegKey {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueRegKey = Owned<HKEY, CloseRegKey>;

// The registry port: each method is exactly the Win32 call it is named
// after, with its result code passed back unchanged. The keys it hands out
// are the caller's to close through CloseKey (the port's contract), so no
// RAII type holds them here.
class Win32Registry final : public RegistryCalls {
 public:
  std::int32_t OpenKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                       RegistryKey& key) override;
  std::int32_t CreateKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                         RegistryKey& key) override;
  std::int32_t QueryValue(RegistryKey key, const char* name, std::uint32_t& type,
                          std::span<std::uint8_t> data, std::uint32_t& size) override;
  std::int32_t SetValue(RegistryKey key, const char* name, std::uint32_t type,
                        std::span<const std::uint8_t> data) override;
  std::int32_t SetPathValue(RegistryKey key, const char* name, const std::string& path) override;
  std::int32_t DeleteValue(RegistryKey key, const char* name) override;
  std::int32_t CloseKey(RegistryKey key) override;
};

}  // namespace hta::win32
