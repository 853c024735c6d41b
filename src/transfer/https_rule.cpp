#include "transfer/https_rule.h"

#include <cstdint>

#include "common/ascii.h"

namespace hta {

bool IsHttpsAddress(std::string_view address) {
  constexpr std::string_view kScheme = "https://";
  return EqualsIgnoringCase(address.substr(0, kScheme.size()), kScheme);
}

bool HttpsRule::Allows(std::string_view address) const {
  return !required_ || IsHttpsAddress(address);
}

bool HttpsRule::Accepts(HttpCalls& http, InternetHandle request) const {
  if (!required_) {
    return true;
  }
  std::uint32_t flags = 0;
  return http.QuerySecurityFlags(request, flags) && (flags & kSecurityFlagSecure) != 0;
}

}  // namespace hta
