#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fakes/fake_file_system.h"
#include "ports/registry.h"

namespace hta::fakes {

// An in-memory registry answering as the Reg*A calls do for what the core
// asks: names match without regard to ASCII case; CreateKey makes missing
// parents; a missing key or value fails with 2; a key opened without
// KEY_QUERY_VALUE or KEY_SET_VALUE refuses that use with 5; a buffer too
// small fails with 234 and gives the size needed. Misuse of key handles goes
// to `problems`; keys left open show in OpenKeys().
class FakeRegistry final : public RegistryCalls {
 public:
  struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };

  void CreatePath(RegistryRoot root, const std::string& path);
  // REG_SZ with its terminating NUL.
  void PutString(RegistryRoot root, const std::string& path, const std::string& name,
                 const std::string& text);
  void PutValue(RegistryRoot root, const std::string& path, const std::string& name, Value value);
  // A REG_SZ value's text without its terminating NUL; nullopt when it is
  // missing, of another type or stored without the NUL.
  std::optional<std::string> GetString(RegistryRoot root, const std::string& path,
                                       const std::string& name) const;

  // Non-zero: every call of that kind fails with this code.
  std::int32_t openKeyFails = 0;
  std::int32_t createKeyFails = 0;
  std::int32_t setValueFails = 0;
  std::int32_t deleteValueFails = 0;
  std::vector<std::string> problems;
  std::size_t openCalls = 0;   // OpenKey calls
  std::size_t writeCalls = 0;  // CreateKey, SetValue and DeleteValue calls
  std::size_t OpenKeys() const;

  std::int32_t OpenKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                       RegistryKey& key) override;
  std::int32_t CreateKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                         RegistryKey& key) override;
  std::int32_t QueryValue(RegistryKey key, const char* name, std::uint32_t& type,
                          std::span<std::uint8_t> data, std::uint32_t& size) override;
  std::int32_t SetValue(RegistryKey key, const char* name, std::uint32_t type,
                        std::span<const std::uint8_t> data) override;
  // Stored as SetValue stores a REG_SZ: the path's bytes (UTF-8) and a NUL.
  std::int32_t SetPathValue(RegistryKey key, const char* name, const std::string& path) override;
  std::int32_t DeleteValue(RegistryKey key, const char* name) override;
  std::int32_t CloseKey(RegistryKey key) override;

 private:
  using Values = std::map<std::string, Value, PathLess>;
  struct Handle {
    std::string path;
    std::uint32_t access = 0;
    bool open = true;
  };
  // The handle's key when it is open and has `right`; otherwise the error.
  std::int32_t Use(RegistryKey key, std::uint32_t right, Values*& values);
  RegistryKey NewHandle(const std::string& path, std::uint32_t access);

  std::map<std::string, Values, PathLess> keys_;  // by "root\path"
  std::map<std::uintptr_t, Handle> handles_;
  std::uintptr_t next_ = 0x100;
};

}  // namespace hta::fakes
