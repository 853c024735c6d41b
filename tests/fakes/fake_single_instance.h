#pragma once

#include <cstddef>

#include "ports/single_instance.h"

namespace hta::fakes {

// The one-copy marker: whether another copy holds it is up to the test.
class FakeSingleInstance final : public SingleInstance {
 public:
  bool AnotherCopyRunning() override {
    ++claims;
    return anotherCopy;
  }
  void Release() override { ++releases; }
  void ActivateOtherCopy() override { ++activations; }

  bool anotherCopy = false;
  std::size_t claims = 0;
  std::size_t activations = 0;
  std::size_t releases = 0;
};

}  // namespace hta::fakes
