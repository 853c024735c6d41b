#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "ports/user_settings.h"

namespace hta::fakes {

// The per-user settings store as a map; every Save is also recorded, so a
// test can tell "stored the same text again" from "stored nothing".
class FakeUserSettings final : public UserSettings {
 public:
  struct Saved {
    std::string application;
    std::string section;
    std::string key;
    std::string value;
    friend bool operator==(const Saved&, const Saved&) = default;
  };

  std::optional<std::string> Get(const std::string& application, const std::string& section,
                                 const std::string& key) override {
    return Value(application, section, key);
  }

  void Save(const std::string& application, const std::string& section, const std::string& key,
            const std::string& value) override {
    saves.push_back(Saved{application, section, key, value});
    values_[{application, section, key}] = value;
  }

  // Stores a value without recording a save (the state left by earlier runs).
  void Put(const std::string& application, const std::string& section, const std::string& key,
           const std::string& value) {
    values_[{application, section, key}] = value;
  }

  std::optional<std::string> Value(const std::string& application, const std::string& section,
                                   const std::string& key) const {
    const auto found = values_.find({application, section, key});
    if (found == values_.end()) {
      return std::nullopt;
    }
    return found->second;
  }

  std::vector<Saved> saves;

 private:
  std::map<std::tuple<std::string, std::string, std::string>, std::string> values_;
};

}  // namespace hta::fakes
