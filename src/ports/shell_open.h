#pragma once

#include <cstdint>
#include <string>

namespace hta {

// Opening documents through the Windows shell. Never re-enters the core.
class ShellOpen {
 public:
  virtual ~ShellOpen() = default;

  // ShellExecuteW with no owner window (named Execute: windows.h defines
  // ShellExecute as a macro). Returns the call's result (greater
  // than 32 on success). `file` and `directory` are paths (UTF-8, see
  // file_system.h); `verb` and `parameters` are texts in the ANSI code page,
  // the parameters as the server sent them. Strings are passed exactly as
  // given: no quoting is added to `file` or `parameters`.
  virtual std::intptr_t Execute(const std::string& verb, const std::string& file,
                                const std::string& parameters, const std::string& directory,
                                int showCommand) = 0;
};

}  // namespace hta
