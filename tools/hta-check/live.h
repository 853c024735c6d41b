#pragma once

#include <string>

#include "reply_check.h"
#include "report.h"

namespace hta::check {

// A live check: the bootstrap request to `endpoint`, the login request for
// `userString`, the downloads, and with `poll` the action list (fetching it
// may use up the user's pending actions), over the launcher's own transfer
// control and WinINet.
struct LiveRequest {
  std::string endpoint;
  std::string userString;
  bool poll = false;
};

void CheckLive(const LiveRequest& request, bool requireHttps, Report& report);

}  // namespace hta::check
