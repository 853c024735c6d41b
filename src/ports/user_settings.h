#pragma once

#include <optional>
#include <string>

namespace hta {

// The per-user settings store, addressed by application, section and key,
// each value a text. Where it lives is the platform's business (on Windows:
// HKEY_CURRENT_USER\Software\<application>\<section>). Never re-enters the
// core.
class UserSettings {
 public:
  virtual ~UserSettings() = default;

  // The stored text, or nullopt when there is none.
  virtual std::optional<std::string> Get(const std::string& application, const std::string& section,
                                         const std::string& key) = 0;

  // Stores the text; failures are not reported (there is nobody to tell at
  // shut-down).
  virtual void Save(const std::string& application, const std::string& section, const std::string& key,
                    const std::string& value) = 0;
};

}  // namespace hta
