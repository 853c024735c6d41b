#include "win32/win32_registry.h"

#include <algorithm>

#include "win32/wide_text.h"

namespace hta::win32 {
namespace {

HKEY Raw(RegistryKey key) {
  return reinterpret_cast<HKEY>(key.value);
}
RegistryKey Wrap(HKEY key) {
  return RegistryKey{reinterpret_cast<std::uintptr_t>(key)};
}

// The registry takes 32-bit sizes; no value this program reads or writes
// comes near that, and a larger buffer is simply used in part.
DWORD Size32(std::size_t size) {
  return static_cast<DWORD>(std::min<std::size_t>(size, UINT32_MAX));
}

}  // namespace

std::int32_t Win32Registry::OpenKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                                    RegistryKey& key) {
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExA(RootKey(root), subKey, 0, access, &opened);
  key = result == ERROR_SUCCESS ? Wrap(opened) : RegistryKey{};
  return result;
}

std::int32_t Win32Registry::CreateKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                                      RegistryKey& key) {
  HKEY created = nullptr;
  // No security attributes: the key inherits those of its parent, which for
  // the current user's hive means this user alone may change it.
  const LONG result = RegCreateKeyExA(RootKey(root), subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                      nullptr, &created, nullptr);
  key = result == ERROR_SUCCESS ? Wrap(created) : RegistryKey{};
  return result;
}

std::int32_t Win32Registry::QueryValue(RegistryKey key, const char* name, std::uint32_t& type,
                                       std::span<std::uint8_t> data, std::uint32_t& size) {
  DWORD valueType = REG_NONE;
  DWORD valueSize = Size32(data.size());
  // A null data pointer asks for the type and size alone. Beware: a string
  // value's data need not end in a NUL (any program may store it without
  // one), so callers must go by `size`, never by searching for the NUL.
  const LONG result =
      RegQueryValueExA(Raw(key), name, nullptr, &valueType, data.empty() ? nullptr : data.data(), &valueSize);
  type = valueType;
  size = valueSize;
  return result;
}

std::int32_t Win32Registry::SetValue(RegistryKey key, const char* name, std::uint32_t type,
                                     std::span<const std::uint8_t> data) {
  return RegSetValueExA(Raw(key), name, 0, type, data.data(), Size32(data.size()));
}

std::int32_t Win32Registry::SetPathValue(RegistryKey key, const char* name, const std::string& path) {
  const std::wstring text = WideFromUtf8(path);
  // The size in bytes, the terminating NUL included.
  const auto size =
      static_cast<DWORD>(std::min<std::size_t>((text.size() + 1) * sizeof(wchar_t), UINT32_MAX));
  return RegSetValueExW(Raw(key), WideFromAnsi(name).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()), size);
}

std::int32_t Win32Registry::DeleteValue(RegistryKey key, const char* name) {
  return RegDeleteValueA(Raw(key), name);
}

std::int32_t Win32Registry::CloseKey(RegistryKey key) {
  return RegCloseKey(Raw(key));
}

}  // namespace hta::win32
