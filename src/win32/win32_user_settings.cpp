#include "win32/win32_user_settings.h"

#include <new>
#include <stdexcept>

#include "win32/win32_headers.h"
#include "win32/win32_registry.h"

namespace hta::win32 {
namespace {

bool UsableName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

// Reads a string value whole, however long. The value may change size
// between the size query and the read (another program writing it), hence
// the loop.
std::optional<std::string> ReadText(HKEY key, const char* name) {
  std::string buffer;
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      // A number or binary data under the name is not a stored text.
      return std::nullopt;
    }
    buffer.assign(static_cast<std::size_t>(size) + 1, '\0');
    DWORD read = size + 1;
    const LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &read);
    if (result == ERROR_MORE_DATA) {
      continue;
    }
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
      return std::nullopt;
    }
    // The data need not end in a NUL, or may hold several: the text is what
    // comes before the first one, within the bytes actually read.
    buffer.resize(read);
    const std::size_t end = buffer.find('\0');
    if (end != std::string::npos) {
      buffer.resize(end);
    }
    return buffer;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> Win32UserSettings::KeyPath(const std::string& application,
                                                      const std::string& section) {
  if (!UsableName(application) || !UsableName(section)) {
    return std::nullopt;
  }
  return "Software\\" + application + "\\" + section;
}

std::optional<std::string> Win32UserSettings::Get(const std::string& application, const std::string& section,
                                                  const std::string& key) {
  // No exception crosses a port: a failed allocation reads as "nothing
  // stored", as any other failure does.
  try {
    const std::optional<std::string> path = KeyPath(application, section);
    if (!path) {
      return std::nullopt;
    }
    UniqueRegKey opened;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path->c_str(), 0, KEY_QUERY_VALUE, opened.receive()) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    return ReadText(opened.get(), key.c_str());
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  } catch (const std::length_error&) {
    return std::nullopt;
  }
}

void Win32UserSettings::Save(const std::string& application, const std::string& section,
                             const std::string& key, const std::string& value) {
  try {
    const std::optional<std::string> path = KeyPath(application, section);
    if (!path) {
      return;
    }
    UniqueRegKey created;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, created.receive(), nullptr) != ERROR_SUCCESS) {
      return;
    }
    // The terminating NUL is part of a REG_SZ value's data; a text with a NUL
    // inside reads back cut there.
    if (value.size() >= UINT32_MAX) {
      return;
    }
    RegSetValueExA(created.get(), key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
  } catch (const std::bad_alloc&) {
    // Nobody to tell at shut-down; the value is simply not stored.
  } catch (const std::length_error&) {
  }
}

}  // namespace hta::win32
