#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>

#include "ports/user_settings.h"

namespace hta::fakes {

// The per-user settings store as a map keyed "application/section/key";
// saves are counted, so a test can tell "stored the same text again" from
// "stored nothing".
class FakeUserSettings final : public UserSettings {
 public:
  std::optional<std::string> Get(const std::string& application, const std::string& section,
                                 const std::string& key) override {
    const auto found = values_.find(application + "/" + section + "/" + key);
    return found == values_.end() ? std::nullopt : std::optional(found->second);
  }
  void Save(const std::string& application, const std::string& section, const std::string& key,
            const std::string& value) override {
    ++saves;
    Put(application, section, key, value);
  }
  // Stores a value without counting a save (the state left by earlier runs).
  void Put(const std::string& application, const std::string& section, const std::string& key,
           const std::string& value) {
    values_[application + "/" + section + "/" + key] = value;
  }

  std::size_t saves = 0;

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace hta::fakes
