#pragma once

#include <string>

#include "ports/environment.h"

namespace hta::win32 {

class Win32Environment final : public Environment {
 public:
  std::string ExeFolder() override;
  std::string ExeName() override;
  std::string TempFolder() override;
};

// The parts of a full ANSI path, split at the last backslash. Exposed for
// the tests. Both walk the text with CharNextA: in a double-byte code page
// (Shift-JIS and others) the second byte of a character can be 0x5C, the
// backslash, and a plain byte search would cut such a name in two.
std::string FolderOfPath(const std::string& path);
std::string NameWithoutExtension(const std::string& path);

}  // namespace hta::win32
