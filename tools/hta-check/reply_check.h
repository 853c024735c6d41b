#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "client/validators.h"
#include "markup/markup.h"
#include "report.h"
#include "transfer/https_rule.h"

namespace hta::check {

// What a live fetch of a download found: the body, the validators the
// response carried, and the status of the same request asked again with
// them (nullopt when it was not asked: no validators, or no body).
struct FetchedDownload {
  std::string body;
  Validators validators;
  std::optional<std::uint32_t> conditionalStatus;
};

// How the checks see the network. Offline, the functions are empty and
// nothing is fetched; live, `fetch` returns a GET's body ("" on any
// failure) and `fetchDownload` what a download brought, both looked at and
// thrown away: hta-check writes no file.
struct CheckContext {
  HttpsRule https;
  std::function<std::string(const std::string& address)> fetch;
  std::function<FetchedDownload(const std::string& address)> fetchDownload;
};

// A bootstrap reply: the session server it names, or nullopt when the
// launcher would take it for no answer.
std::optional<std::string> CheckBootstrapReply(std::string_view reply, const CheckContext& context,
                                               Report& report);

// What a login reply leaves for the action poll.
struct LoginOutcome {
  std::string appParam;
  std::string actionUrl;
};

// A login reply: the applications, the main one, the downloads, the
// messages and the action-list address, as the launcher would use them.
LoginOutcome CheckLoginReply(std::string_view reply, const CheckContext& context, Report& report);

// An action list: each action and what would become of it.
void CheckActionList(std::string_view list, const CheckContext& context, Report& report);

// Whether the launcher would fetch `address` (it says why not when it
// would not); plain HTTP is warned about.
bool CheckFetchable(std::string_view address, const CheckContext& context, Report& report);

// Warns when a scan of `kind` elements ended at a malformed one.
void WarnIfEndedEarly(MarkupResult result, std::string_view kind, Report& report);

}  // namespace hta::check
