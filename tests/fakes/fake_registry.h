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

// An in-memory registry behaving as the Reg*A calls do for what the core
// asks of them:
// - keys are addressed by root and path; names of keys and values match
//   without regard to ASCII case; CreateKey makes missing parent keys too;
// - OpenKey of a missing key fails with 2 (ERROR_FILE_NOT_FOUND);
// - a key opened without KEY_QUERY_VALUE cannot be queried, one without
//   KEY_SET_VALUE cannot be written or have values deleted (5,
//   ERROR_ACCESS_DENIED);
// - QueryValue: a missing value fails with 2; an empty buffer gives type and
//   size with success; a buffer too small for the data fails with 234
//   (ERROR_MORE_DATA) and gives the size needed; otherwise the data is
//   copied and `size` is its length;
// - DeleteValue of a missing value fails with 2.
// Failures can be forced per call kind. Every call is recorded as a line;
// misuse of key handles (closing twice, using a closed or unknown key) is
// listed in `problems`, and keys left open in OpenKeys().
//
// Line formats:
//   OpenKey 0x80000001 [Software\X] access=0x20019 -> 0
//   CreateKey 0x80000001 [Software\X] access=0x20006 -> 0
//   QueryValue [Software\X] [name] buffer=255 -> 0 type=1 size=4
//   SetValue [Software\X] [name] type=1 size=5 -> 0
//   DeleteValue [Software\X] [name] -> 2
//   CloseKey [Software\X] -> 0
class FakeRegistry final : public RegistryCalls {
 public:
  struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };

  // Scripting. `root` is a RegistryRoot.
  void CreatePath(RegistryRoot root, const std::string& path);
  // REG_SZ with its terminating NUL.
  void PutString(RegistryRoot root, const std::string& path, const std::string& name,
                 const std::string& text);
  // REG_DWORD in the platform's byte order.
  void PutDword(RegistryRoot root, const std::string& path, const std::string& name, std::int32_t number);
  void PutValue(RegistryRoot root, const std::string& path, const std::string& name, Value value);

  // A REG_SZ value's text without its terminating NUL; nullopt when the key
  // or value is missing or of another type.
  std::optional<std::string> GetString(RegistryRoot root, const std::string& path,
                                       const std::string& name) const;

  // Non-zero: every call of that kind fails with this code and changes
  // nothing.
  std::int32_t openKeyFails = 0;
  std::int32_t createKeyFails = 0;
  std::int32_t setValueFails = 0;
  std::int32_t deleteValueFails = 0;

  std::vector<std::string> calls;
  std::vector<std::string> problems;
  // CreateKey, SetValue and DeleteValue calls, successful or not.
  std::size_t writeCalls = 0;
  // Paths of the keys still open.
  std::vector<std::string> OpenKeys() const;

  std::int32_t OpenKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                       RegistryKey& key) override;
  std::int32_t CreateKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                         RegistryKey& key) override;
  std::int32_t QueryValue(RegistryKey key, const char* name, std::uint32_t& type,
                          std::span<std::uint8_t> data, std::uint32_t& size) override;
  std::int32_t SetValue(RegistryKey key, const char* name, std::uint32_t type,
                        std::span<const std::uint8_t> data) override;
  std::int32_t DeleteValue(RegistryKey key, const char* name) override;
  std::int32_t CloseKey(RegistryKey key) override;

 private:
  using Values = std::map<std::string, Value, PathLess>;
  struct Handle {
    std::string path;  // "0x80000001\Software\X"
    std::string shown;
    std::uint32_t access = 0;
    bool open = true;
  };

  static std::string KeyName(std::uint32_t root, const std::string& path);
  Handle* Use(RegistryKey key, const char* call);
  // Why a call on `handle` that needs `right` fails: a bad handle, a missing
  // right, or `fails` (the forced failure of its kind; 0 lets it go ahead).
  static std::int32_t Refusal(const Handle* handle, std::uint32_t right, std::int32_t fails);
  static std::string Shown(const Handle* handle);
  RegistryKey NewHandle(const std::string& path, const std::string& shown, std::uint32_t access);

  std::map<std::string, Values, PathLess> keys_;
  std::map<std::uintptr_t, Handle> handles_;
  std::uintptr_t next_ = 0x100;
};

}  // namespace hta::fakes
