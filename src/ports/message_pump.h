#pragma once

namespace hta {

// The GUI thread's message loop, as long operations see it.
//
// Long operations (transfers, fades, the wait for a busy fetch) block their
// caller but call DoEvents() between steps, so the window repaints and timers
// and clicks are handled. That re-entry is the program's only concurrency.
class MessagePump {
 public:
  virtual ~MessagePump() = default;

  // Dispatches every message that is pending now, then returns. It does not
  // wait for new ones.
  //
  // RE-ENTRY: any handler of the program may run inside this call (a timer
  // tick that starts a fetch, a click on a popup, a menu choice). Callers
  // must not hold references into state that such handlers may change.
  // (Not named Yield: windows.h defines that name as an empty macro.)
  virtual void DoEvents() = 0;
};

}  // namespace hta
