#pragma once

#include <cstddef>

#include "ports/single_instance.h"

namespace hta::fakes {

// The one-copy marker of a copy that runs alone; releases are counted.
class FakeSingleInstance final : public SingleInstance {
 public:
  bool AnotherCopyRunning() override { return false; }
  void Release() override { ++releases; }
  void ActivateOtherCopy() override {}

  std::size_t releases = 0;
};

}  // namespace hta::fakes
