#pragma once

#include <memory>

#include "ports/http.h"
#include "win32/win32_message_pump.h"

namespace hta::win32 {

// HttpClient on WinINet. Each exchange runs on a worker thread of the
// process's thread pool, which owns every WinINet handle of its transfer
// (session, connection and request) while it runs and is the only code that
// calls WinINet. The GUI thread waits for its events in
// MsgWaitForMultipleObjectsEx and dispatches every message as it arrives, so
// the window answers whatever the network does. A body that goes quiet for
// the request's quietMilliseconds fails on the GUI thread's side, whatever
// the worker is blocked in.
//
// An abandoned worker is never waited for: WinINet under Wine does not abort
// a blocked call when its handle is closed from another thread, so a cancel
// that relied on that would wait up to the time limits. The worker finds out
// at its next step and ends by itself.
class Win32Http final : public HttpClient {
 public:
  // `pump` runs the messages while an exchange waits; borrowed.
  explicit Win32Http(Win32MessagePump& pump) : pump_(pump) {}

  std::unique_ptr<HttpExchange> Start(const HttpRequest& request) override;

 private:
  Win32MessagePump& pump_;
};

}  // namespace hta::win32
