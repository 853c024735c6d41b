#pragma once

#include <optional>
#include <string>

namespace hta {

// Whole-file operations on ANSI paths. Each opens and closes its file inside
// the one call; nothing stays open between calls. Never re-enters the core.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The file's bytes, or nullopt when it cannot be opened for reading
  // (missing, a folder, locked, no access).
  virtual std::optional<std::string> ReadAll(const std::string& path) = 0;
};

}  // namespace hta
