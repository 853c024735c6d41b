#pragma once

#include <string>

namespace hta {

// Facts about the running program and the machine, read on each call.
// Paths are UTF-8, as everywhere in the core (see file_system.h). Never
// re-enters the core.
class Environment {
 public:
  virtual ~Environment() = default;

  // The folder the running executable lies in, as the shell reports it: no
  // trailing backslash, except at a drive's root ("C:\").
  virtual std::string ExeFolder() = 0;

  // The executable's file name without its extension ("Launcher" for
  // Launcher.exe).
  virtual std::string ExeName() = 0;

  // The system temporary folder as GetTempPathW reports it, ending in a
  // backslash; empty when the platform reports none.
  virtual std::string TempFolder() = 0;
};

}  // namespace hta
