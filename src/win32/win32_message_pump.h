#pragma once

#include "ports/message_pump.h"
#include "win32/win32_headers.h"

namespace hta::win32 {

// Lets a window take its keyboard messages before they are dispatched (the
// dialog manager's Tab, Enter and Alt+mnemonic handling).
class MessageFilter {
 public:
  virtual ~MessageFilter() = default;
  // True when the message was handled and must not be dispatched again.
  virtual bool PreTranslate(MSG& message) = 0;
};

// The GUI thread's message loop: the outer loop of the program (Run) and the
// nested one that long operations turn with DoEvents. Both give every message
// to the same filter first, so keyboard navigation works in either.
class Win32MessagePump final : public MessagePump {
 public:
  explicit Win32MessagePump(MessageFilter* filter = nullptr) : filter_(filter) {}

  void SetFilter(MessageFilter* filter) { filter_ = filter; }

  void DoEvents() override;

  // Sleeps until `signal` is set, a message arrives or `milliseconds` pass,
  // then dispatches every message that is pending (RE-ENTRY as DoEvents).
  // False once the program's quit request has been seen: nothing should
  // wait any longer.
  bool WaitFor(HANDLE signal, DWORD milliseconds = INFINITE);

  // Runs until WM_QUIT arrives and returns its exit code.
  int Run();

 private:
  void Dispatch(MSG& message);

  // WaitFor looks at the messages at least this often while a signal keeps
  // waking it.
  static constexpr ULONGLONG kSweepDueMilliseconds = 10;

  MessageFilter* filter_;
  bool quitSeen_ = false;
  ULONGLONG lastSweep_ = 0;
};

}  // namespace hta::win32
