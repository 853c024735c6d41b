#pragma once

#include <string>
#include <utility>

#include "ports/environment.h"

namespace hta::fakes {

// An environment whose answers the test sets. The defaults describe
// "C:\Program Files\HTA Launcher\Launcher.exe" with the usual temp folder.
class FakeEnvironment final : public Environment {
 public:
  FakeEnvironment() = default;
  FakeEnvironment(std::string folder, std::string name)
      : exeFolder(std::move(folder)), exeName(std::move(name)) {}

  std::string ExeFolder() override { return exeFolder; }
  std::string ExeName() override { return exeName; }
  std::string TempFolder() override { return tempFolder; }

  std::string exeFolder = "C:\\Program Files\\HTA Launcher";
  std::string exeName = "Launcher";
  std::string tempFolder = "C:\\Users\\user\\AppData\\Local\\Temp\\";
};

}  // namespace hta::fakes
