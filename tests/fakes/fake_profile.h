#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <span>
#include <string>

#include "ports/profile.h"

namespace hta::fakes {

// The profile calls over a map from "section/key" to value, whatever the
// file; a missing key reads as the default, cut to the buffer as the
// platform cuts it. Key lists and deletions are not needed by the program.
class FakeProfile final : public ProfileCalls {
 public:
  std::size_t ProfileRead(const char* section, const char* key, const char* defaultValue,
                          std::span<char> buffer, const char*) override {
    const auto found = key == nullptr ? values.end() : values.find(std::string(section) + "/" + key);
    const std::string value = found == values.end() ? std::string(defaultValue) : found->second;
    const std::size_t count = std::min(value.size(), buffer.size() - 1);
    std::copy_n(value.data(), count, buffer.data());
    buffer[count] = '\0';
    return count;
  }
  bool ProfileWrite(const char* section, const char* key, const char* value, const char*) override {
    if (key != nullptr && value != nullptr) {
      values[std::string(section) + "/" + key] = value;
    }
    return true;
  }

  std::map<std::string, std::string> values;
};

}  // namespace hta::fakes
