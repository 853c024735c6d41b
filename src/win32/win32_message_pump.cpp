#include "win32/win32_message_pump.h"

namespace hta::win32 {

void Win32MessagePump::Dispatch(MSG& message) {
  if (filter_ != nullptr && filter_->PreTranslate(message)) {
    return;
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void Win32MessagePump::DoEvents() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The program is ending, but this is a nested loop: put the quit
      // request back so that the outer loop in Run() sees it and ends too.
      // Swallowing it here would leave a process with no window running.
      quitSeen_ = true;
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

bool Win32MessagePump::WaitFor(HANDLE signal, DWORD milliseconds) {
  if (quitSeen_) {
    return false;
  }
  // MWMO_INPUTAVAILABLE: messages already in the queue wake it too, not
  // only those that arrive from now on.
  const DWORD woke = MsgWaitForMultipleObjectsEx(1, &signal, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  // Woken by the signal alone, the look at the message queue (a server round
  // trip under Wine, once per batch of a fast download) is left to the next
  // wake unless it is due: a message waits a few milliseconds at most, and
  // one that arrives while nothing is signalled wakes the wait at once.
  const ULONGLONG now = GetTickCount64();
  if (woke != WAIT_OBJECT_0 || now - lastSweep_ >= kSweepDueMilliseconds) {
    DoEvents();
    lastSweep_ = GetTickCount64();
  }
  return !quitSeen_;
}

int Win32MessagePump::Run() {
  MSG message;
  for (;;) {
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
      return static_cast<int>(message.wParam);
    }
    if (got == -1) {
      // Only an invalid argument makes GetMessage fail; looping on it would
      // spin forever.
      return 1;
    }
    Dispatch(message);
  }
}

}  // namespace hta::win32
