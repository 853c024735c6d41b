#include "transfer/https_rule.h"

#include "common/ascii.h"

namespace hta {

bool IsHttpsAddress(std::string_view address) {
  constexpr std::string_view kScheme = "https://";
  return EqualsIgnoringCase(address.substr(0, kScheme.size()), kScheme);
}

bool HttpsRule::Allows(std::string_view address) const {
  return !required_ || IsHttpsAddress(address);
}

}  // namespace hta
