#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "fakes/fake_file_system.h"
#include "ports/profile.h"

namespace hta::fakes {

// The profile calls over the files of a FakeFileSystem, behaving as
// GetPrivateProfileStringA and WritePrivateProfileStringA do (checked
// against the platform's calls):
// - lines end at CR LF, CR or LF; blanks around a line are ignored;
// - "[name]" starts a section (text after the "]" is ignored, a line with
//   "[" but no "]" is ignored); "name=value" is a key; other lines are
//   ignored, and so are key lines before the first header;
// - section and key names match without regard to ASCII case and to blanks
//   around them; the first matching section and key win;
// - a value loses its surrounding blanks, then a pair of enclosing double
//   quotes; it is cut to buffer size - 1;
// - a default loses its trailing blanks and is cut the same way;
// - a key list (key == nullptr) holds every key name of the section except
//   those starting with ";", each followed by a NUL, and one more NUL. If
//   that does not fit, the first size - 2 characters are copied, followed by
//   two NULs, and the call returns size - 2; a list that needs exactly
//   size - 1 characters before its final NUL counts as not fitting too. A
//   missing section gives the default;
// - writes edit the file in place line by line: a key is replaced on its
//   line (keeping the file's spelling of its name), appended after the
//   section's last key, or appended with a new section at the end of the
//   file (which is created when missing); new lines end in CR LF. Deleting
//   from a missing file succeeds without creating it. A file marked
//   unreadable makes every write fail and every read give the default.
//
// Every call is also recorded with the size of its buffer (0 for a write).
class FakeProfile final : public ProfileCalls {
 public:
  explicit FakeProfile(FakeFileSystem& files) : files_(files) {}

  std::size_t ProfileRead(const char* section, const char* key, const char* defaultValue,
                          std::span<char> buffer, const char* fileName) override;
  bool ProfileWrite(const char* section, const char* key, const char* value, const char* fileName) override;

  struct Call {
    std::size_t bufferSize = 0;
  };
  std::vector<Call> calls;

 private:
  FakeFileSystem& files_;
};

}  // namespace hta::fakes
