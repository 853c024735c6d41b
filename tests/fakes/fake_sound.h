#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ports/sound.h"

namespace hta::fakes {

// Sound output as a record: every call as "<the wave's bytes> <flags>", in
// order.
class FakeSound final : public Sound {
 public:
  bool PlayWave(std::string wave, std::uint32_t flags) override {
    played.push_back(wave + " " + std::to_string(flags));
    return true;
  }

  std::vector<std::string> played;
};

}  // namespace hta::fakes
