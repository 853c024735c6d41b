#pragma once

#include <string>
#include <vector>

#include "ports/shell_open.h"

namespace hta::fakes {

// Records every ShellExecute instead of starting anything, and reports
// success (a result above 32) unless told otherwise.
class FakeShellOpen final : public ShellOpen {
 public:
  struct Executed {
    std::string verb;
    std::string file;
    std::string parameters;
    std::string directory;
    int showCommand = 0;
    friend bool operator==(const Executed&, const Executed&) = default;
  };

  std::intptr_t Execute(const std::string& verb, const std::string& file, const std::string& parameters,
                        const std::string& directory, int showCommand) override {
    executed.push_back(Executed{verb, file, parameters, directory, showCommand});
    return result;
  }

  std::vector<Executed> executed;
  std::intptr_t result = 42;
};

}  // namespace hta::fakes
