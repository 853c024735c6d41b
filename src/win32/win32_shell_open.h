#pragma once

#include <cstdint>
#include <string>

#include "ports/shell_open.h"

namespace hta::win32 {

// The shell port over ShellExecuteW.
//
// ShellExecute may hand the file to a shell extension that expects COM on
// the calling thread, so the object joins the thread to a single-threaded
// apartment for as long as it lives (and leaves it on destruction, if it
// joined). Make it on the GUI thread and keep it there.
class Win32ShellOpen final : public ShellOpen {
 public:
  Win32ShellOpen();
  ~Win32ShellOpen() override;
  Win32ShellOpen(const Win32ShellOpen&) = delete;
  Win32ShellOpen& operator=(const Win32ShellOpen&) = delete;

  // ShellExecuteW(nullptr, verb, file, parameters, directory, showCommand),
  // each text widened from its encoding (see the port).
  // An empty verb, parameter text or directory is passed as null, which the
  // call reads as the default verb, no parameters and the current folder.
  //
  // Security: `file` is opened by whatever program its extension is
  // associated with; the caller must only pass files it put there itself.
  std::intptr_t Execute(const std::string& verb, const std::string& file, const std::string& parameters,
                        const std::string& directory, int showCommand) override;

 private:
  bool comJoined_ = false;
};

}  // namespace hta::win32
