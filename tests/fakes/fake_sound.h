#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ports/sound.h"

namespace hta::fakes {

// Sound output as a record: every call as "path flags", in order.
class FakeSound final : public Sound {
 public:
  bool PlaySoundFile(const std::string& path, std::uint32_t flags) override {
    played.push_back(path + " " + std::to_string(flags));
    return true;
  }

  std::vector<std::string> played;
};

}  // namespace hta::fakes
