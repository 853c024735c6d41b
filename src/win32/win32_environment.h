#pragma once

#include <string>

#include "ports/environment.h"

namespace hta::win32 {

// The environment port over the wide calls (GetModuleFileNameW,
// GetTempPathW); every path is UTF-8.
class Win32Environment final : public Environment {
 public:
  std::string ExeFolder() override;
  std::string ExeName() override;
  std::string TempFolder() override;
};

// The running executable's full path (UTF-8); empty when the system does
// not say.
std::string OwnExecutablePath();

// The parts of a full UTF-8 path, split at the last backslash. Exposed for
// the tests and the single-copy port.
std::string FolderOfPath(const std::string& path);
std::string NameWithoutExtension(const std::string& path);

}  // namespace hta::win32
