#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace hta {

// Predefined root keys, with their Win32 values.
enum class RegistryRoot : std::uint32_t {
  ClassesRoot = 0x80000000,
  CurrentUser = 0x80000001,
  LocalMachine = 0x80000002,
  Users = 0x80000003,
  PerformanceData = 0x80000004,
  CurrentConfig = 0x80000005,
  DynData = 0x80000006,
};

// An opened registry key. Zero is "no key".
struct RegistryKey {
  std::uintptr_t value = 0;
  explicit operator bool() const { return value != 0; }
};

// Win32 result codes the core tests for; any other non-zero code is a
// failure too.
inline constexpr std::int32_t kRegistrySuccess = 0;       // ERROR_SUCCESS
inline constexpr std::int32_t kRegistryFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
inline constexpr std::int32_t kRegistryMoreData = 234;    // ERROR_MORE_DATA
inline constexpr std::uint32_t kRegistryString = 1;       // REG_SZ
inline constexpr std::uint32_t kRegistryDword = 4;        // REG_DWORD
inline constexpr std::uint32_t kRegistryMultiString = 7;  // REG_MULTI_SZ
inline constexpr std::uint32_t kRegistryKeyRead = 0x20019;
inline constexpr std::uint32_t kRegistryKeyWrite = 0x20006;

// The registry calls in their own shape. Every call returns a Win32 result
// code (0 on success). Texts are NUL-terminated ANSI strings, except the
// path of SetPathValue. A key opened or
// created here is owned by the caller and closed with CloseKey exactly once.
// Never re-enters the core.
class RegistryCalls {
 public:
  virtual ~RegistryCalls() = default;

  // RegOpenKeyExA.
  virtual std::int32_t OpenKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                               RegistryKey& key) = 0;

  // RegCreateKeyExA with REG_OPTION_NON_VOLATILE.
  virtual std::int32_t CreateKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                                 RegistryKey& key) = 0;

  // RegQueryValueExA. An empty `data` asks for type and size only. On entry
  // `size` is data.size(); on return it is the size the value needs (also
  // when the call fails with kRegistryMoreData).
  virtual std::int32_t QueryValue(RegistryKey key, const char* name, std::uint32_t& type,
                                  std::span<std::uint8_t> data, std::uint32_t& size) = 0;

  // RegSetValueExA.
  virtual std::int32_t SetValue(RegistryKey key, const char* name, std::uint32_t type,
                                std::span<const std::uint8_t> data) = 0;

  // RegSetValueExW of a REG_SZ value, with its terminating NUL, whose text
  // is `path`: a path in UTF-8, as the core keeps paths (see
  // file_system.h). Through SetValue a folder named in letters the ANSI code
  // page lacks would be stored as "?" and name nothing.
  virtual std::int32_t SetPathValue(RegistryKey key, const char* name, const std::string& path) = 0;

  // RegDeleteValueA.
  virtual std::int32_t DeleteValue(RegistryKey key, const char* name) = 0;

  // RegCloseKey.
  virtual std::int32_t CloseKey(RegistryKey key) = 0;
};

}  // namespace hta
