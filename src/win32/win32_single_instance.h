#pragma once

#include <string>

#include "ports/single_instance.h"
#include "win32/unique_handle.h"
#include "win32/win32_headers.h"

namespace hta::win32 {

// One copy per log-on session, marked by a named mutex in the session's own
// namespace ("Local\"): copies in other sessions (other users on a terminal
// server, fast user switching) do not see it. The mutex is never waited on or
// owned; only its existence counts, and the object's handle keeps it in
// existence until Release, at the latest until the object goes. Windows
// closes the handle if the process dies, so a crash never leaves a stale
// claim behind (unlike a lock file would).
//
// Bringing the running copy forward: its main window is found by its window
// class and asked, with the registered message kActivateMessage, to show and
// activate itself. Asking rather than acting from here: the copy may sit
// hidden in the tray, and only its own window knows how to come out of it.
// Windows lets only the foreground process hand the foreground on, so this
// copy (just started by the user, hence in the foreground) grants it to the
// other with AllowSetForegroundWindow first, and waits for the answer while
// it still holds that right.
class Win32SingleInstance final : public SingleInstance {
 public:
  static constexpr const char* kDefaultMutexName = "Local\\HtaLauncher.SingleInstance";
  // RegisterWindowMessageA name of the request. The main window answers it.
  static constexpr const char* kActivateMessage = "HtaLauncher.Activate";

  // `mutexName`: the marker's name (the program's is kDefaultMutexName);
  // `windowClass`: the class of the main window to bring forward (the
  // program's is MainWindow::kClassName). The tests use names of their own.
  Win32SingleInstance(std::string mutexName, std::string windowClass);

  // Claims the marker on the first call and remembers the answer; later
  // calls repeat it. When another copy holds the marker this object lets go
  // of its handle at once, so it prolongs nobody's claim.
  bool AnotherCopyRunning() override;

  // Closes the handle: once no other copy holds one, the marker is gone.
  void Release() override { mutex_.reset(); }

  // Sends kActivateMessage to the first window of the class that belongs to
  // another process, waiting at most two seconds for the answer (the copy
  // may be inside a blocking transfer); does nothing when there is none.
  void ActivateOtherCopy() override;

 private:
  std::string mutexName_;
  std::string windowClass_;
  UniqueHandle mutex_;
  bool asked_ = false;
  bool another_ = false;
};

}  // namespace hta::win32
