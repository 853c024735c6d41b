#include "live.h"

#include "actions/action_poll.h"
#include "client/login_rules.h"
#include "client/request_headers_scope.h"
#include "client/validators.h"
#include "transfer/internet_file.h"
#include "win32/win32_clock.h"
#include "win32/win32_file_system.h"
#include "win32/win32_http.h"
#include "win32/win32_message_pump.h"

namespace hta::check {
namespace {

using namespace hta::win32;

// The launcher's transfer control on WinINet, set up as the launcher sets
// up its own: the system's connection settings, the HTTPS rule.
class LiveTransfers {
 public:
  explicit LiveTransfers(bool requireHttps) : file_(http_, files_, clock_) {
    file_.InitProperties();
    file_.RequireHttps(requireHttps);
  }
  std::string Get(const std::string& address) { return file_.syncGET(address); }
  // A download's GET, and when it carried validators, the same GET asked
  // with them, as the launcher's next login would ask.
  FetchedDownload Download(const std::string& address) {
    FetchedDownload fetched;
    fetched.body = file_.syncGET(address);
    fetched.validators = ResponseValidators(file_.ResponseHeaders());
    const std::string conditional = ConditionalLines(fetched.validators);
    if (!fetched.body.empty() && !conditional.empty()) {
      const RequestHeadersScope scope(file_, conditional);
      (void)file_.syncGET(address);
      fetched.conditionalStatus = file_.ResponseStatus();
    }
    return fetched;
  }
  TimeOfDay Now() { return clock_.LocalTimeOfDay(); }

 private:
  Win32MessagePump pump_;
  Win32Http http_{pump_};
  Win32FileSystem files_;
  Win32Clock clock_;
  InternetFile file_;
};

void Poll(LiveTransfers& transfers, const LoginOutcome& login, const CheckContext& context, Report& report) {
  if (login.actionUrl.empty() || !context.https.Allows(login.actionUrl)) {
    return;
  }
  report.Say("polling the action list");
  const std::string list = transfers.Get(ActionListAddress(login.actionUrl, login.appParam, transfers.Now()));
  if (list.empty()) {
    report.Refuse("the action list could not be fetched, or it is empty");
    return;
  }
  CheckActionList(list, context, report);
}

}  // namespace

void CheckLive(const LiveRequest& request, bool requireHttps, Report& report) {
  LiveTransfers transfers(requireHttps);
  CheckContext context{HttpsRule(requireHttps),
                       [&](const std::string& address) { return transfers.Get(address); },
                       [&](const std::string& address) { return transfers.Download(address); }};
  report.Say("bootstrap address: " + Address(request.endpoint));
  if (!CheckFetchable(request.endpoint, context, report)) {
    return;
  }
  // The launcher sends the boot parameters its registry holds; a first
  // start has none.
  const std::string bootstrap = transfers.Get(BootstrapAddress(request.endpoint, "", transfers.Now()));
  if (bootstrap.empty()) {
    report.Refuse("no answer: the launcher tries its next address, and ends when none answers");
    return;
  }
  const std::optional<std::string> server = CheckBootstrapReply(bootstrap, context, report);
  if (!server) {
    return;
  }
  report.Say("login request for a user string of " + std::to_string(request.userString.size()) + " bytes");
  const LoginOutcome login = CheckLoginReply(
      transfers.Get(LoginAddress(*server, request.userString, transfers.Now())), context, report);
  if (request.poll) {
    Poll(transfers, login, context, report);
  }
}

}  // namespace hta::check
