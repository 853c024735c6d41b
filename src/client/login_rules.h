#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "markup/markup.h"
#include "markup/reply_targets.h"
#include "ports/clock.h"

namespace hta {

// What a login sends and how its reply is read, without side effects of
// their own: the Client and the hta-check tool both go through here, so the
// tool sees a back office exactly as the launcher does.

// The bootstrap request to `endpoint`: the boot parameters as the back
// office stored them (only blanks and control characters encoded) and the
// time stamp.
std::string BootstrapAddress(std::string_view endpoint, std::string_view bootParams, const TimeOfDay& time);

// The login request to the session server `server`: the user string with
// every byte but the unreserved ones encoded, and the time stamp.
std::string LoginAddress(std::string_view server, std::string_view userString, const TimeOfDay& time);

// Where a login reply's values go.
struct LoginReplyTargets {
  ApplicationTarget& applications;
  DownloadTarget& downloads;
  MessageTarget& messages;
  ActionUrlTarget& actionUrl;
};

// How each kind's scan of a login reply ended.
struct LoginReplyScan {
  bool blank = false;  // blanks only: nothing was scanned
  MarkupResult applications = MarkupResult::Ok;
  MarkupResult downloads = MarkupResult::Ok;
  MarkupResult messages = MarkupResult::Ok;
  MarkupResult actionUrl = MarkupResult::Ok;
};

// Hands a login reply to the markup: applications, downloads, messages,
// action-list address, in that order; a reply of blanks only is ignored.
// Each kind is scanned on its own, so a malformed element ends its own
// kind's scan only. Once `stop` returns true (a receiver yielded and the program
// ended there), no further kind is scanned. `reply` must stay unchanged
// during the call.
LoginReplyScan ScanLoginReply(std::string_view reply, const LoginReplyTargets& targets,
                              const std::function<bool()>& stop);

}  // namespace hta
