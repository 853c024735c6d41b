#pragma once

#include <string>

#include "ports/file_system.h"

namespace hta {

// Puts the complete, closed file `finished` in the place of `target` in one
// move, so a reader (and a failure) sees either the old file or the whole
// new one, never none and never a part. When it cannot be moved (the target
// is held open by another program), `finished` is removed and the target
// stays as it was. Whether the target was replaced.
inline bool ReplaceFileWith(FileSystem& files, const std::string& finished, const std::string& target) {
  if (files.MoveFileReplacing(finished, target)) {
    return true;
  }
  files.RemoveFile(finished);
  return false;
}

}  // namespace hta
