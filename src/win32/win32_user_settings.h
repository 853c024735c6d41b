#pragma once

#include <optional>
#include <string>

#include "ports/user_settings.h"

namespace hta::win32 {

// The per-user settings store in the registry, where Windows programs have
// always kept theirs: HKEY_CURRENT_USER\Software\<application>\<section>,
// one REG_SZ value per key, named after the key. ("HTA_Launcher", "user",
// "user") is the value "user" of HKCU\Software\HTA_Launcher\user.
//
// An application or section name that is empty or holds a backslash would
// address some other key (a parent, or a key further down), so such names
// read as "nothing stored" and are never written.
class Win32UserSettings final : public UserSettings {
 public:
  std::optional<std::string> Get(const std::string& application, const std::string& section,
                                 const std::string& key) override;
  void Save(const std::string& application, const std::string& section, const std::string& key,
            const std::string& value) override;

  // The key's path under HKEY_CURRENT_USER, or nullopt for names that are
  // refused. Exposed for the tests.
  static std::optional<std::string> KeyPath(const std::string& application, const std::string& section);
};

}  // namespace hta::win32
