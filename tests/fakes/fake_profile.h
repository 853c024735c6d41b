#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "fakes/fake_file_system.h"
#include "ports/profile.h"

namespace hta::fakes {

// The profile calls over INI texts in a fake file system, as the platform's
// work on files: "[section]" lines, then "key=value" lines, names compared
// without regard to ASCII case, blanks around names and values dropped, a
// value in matching quotes given without them. A file that cannot be read
// reads as missing; a write to it, or while the disk's writes fail, fails
// and changes nothing. Key lists are cut to the buffer as the platform cuts
// them.
class FakeProfile final : public ProfileCalls {
 public:
  explicit FakeProfile(FakeFileSystem& disk) : disk_(disk) {}

  std::size_t ProfileRead(const char* section, const char* key, const char* defaultValue,
                          std::span<char> buffer, const char* fileName) override;
  bool ProfileWrite(const char* section, const char* key, const char* value, const char* fileName) override;

 private:
  FakeFileSystem& disk_;
};

}  // namespace hta::fakes
