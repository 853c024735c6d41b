#include "client/login_rules.h"

#include "client/request_encoding.h"

namespace hta {
namespace {

constexpr std::string_view kBootParamsQuery = "?bootparams=";
constexpr std::string_view kUserQuery = "?user=";
constexpr std::string_view kTimeStampQuery = "&ts=";

bool IsBlankOnly(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

std::string BootstrapAddress(std::string_view endpoint, std::string_view bootParams, const TimeOfDay& time) {
  return std::string(endpoint) + std::string(kBootParamsQuery) + PercentEncodeBlanks(bootParams) +
         std::string(kTimeStampQuery) + TimeStampText(time);
}

std::string LoginAddress(std::string_view server, std::string_view userString, const TimeOfDay& time) {
  return std::string(server) + std::string(kUserQuery) + PercentEncodeAll(userString) +
         std::string(kTimeStampQuery) + TimeStampText(time);
}

LoginReplyScan ScanLoginReply(std::string_view reply, const LoginReplyTargets& targets,
                              const std::function<bool()>& stop) {
  LoginReplyScan scan;
  if (IsBlankOnly(reply)) {
    scan.blank = true;
    return scan;
  }
  scan.applications = ProcessApplications(reply, targets.applications);
  if (stop()) {
    return scan;
  }
  scan.downloads = ProcessDownloads(reply, targets.downloads);
  if (stop()) {
    return scan;
  }
  scan.messages = ProcessMessages(reply, targets.messages);
  if (stop()) {
    return scan;
  }
  scan.actionUrl = ProcessActionUrl(reply, targets.actionUrl);
  return scan;
}

}  // namespace hta
