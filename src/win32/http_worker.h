#pragma once

#include "ports/http.h"
#include "transfer/exchange_queue.h"

namespace hta::win32 {

// Carries out `request` with WinINet on the calling (worker) thread and
// pushes its events into `queue`, the last being End or Failed (unless the
// queue was abandoned, when it stops at its next step). Opens, uses and
// closes every WinINet handle of the transfer itself. Never touches anything
// but its arguments.
void RunHttpRequest(const HttpRequest& request, ExchangeQueue& queue);

}  // namespace hta::win32
