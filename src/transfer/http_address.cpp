#include "transfer/http_address.h"

#include <charconv>

#include "common/ascii.h"

namespace hta {

std::optional<HttpAddress> ParseHttpAddress(std::string_view address) {
  HttpAddress parsed;
  constexpr std::string_view kHttp = "http://";
  constexpr std::string_view kHttps = "https://";
  const std::string lower = LowerAscii(address.substr(0, kHttps.size()));
  if (lower.starts_with(kHttps)) {
    parsed.secure = true;
    parsed.port = 443;
    address.remove_prefix(kHttps.size());
  } else if (lower.starts_with(kHttp)) {
    address.remove_prefix(kHttp.size());
  } else {
    return std::nullopt;
  }
  address = address.substr(0, address.find('#'));
  const std::size_t pathStart = address.find_first_of("/?");
  std::string_view authority = address.substr(0, pathStart);
  const std::string_view path =
      pathStart == std::string_view::npos ? std::string_view() : address.substr(pathStart);
  // A query straight after the host asks for the root.
  parsed.path = path.starts_with('?') ? std::string("/").append(path) : std::string(path);
  // An IPv6 address holds colons of its own.
  const std::size_t hostEnd = authority.starts_with('[') ? authority.find(']') + 1 : authority.find(':');
  if (hostEnd == 0) {
    return std::nullopt;
  }
  parsed.host = std::string(authority.substr(0, hostEnd));
  if (parsed.host.empty() || parsed.host.find('@') != std::string::npos) {
    return std::nullopt;
  }
  if (hostEnd < authority.size()) {
    std::string_view port = authority.substr(hostEnd);
    if (port.front() != ':') {
      return std::nullopt;
    }
    port.remove_prefix(1);
    unsigned number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || number == 0 ||
        number > 65535) {
      return std::nullopt;
    }
    parsed.port = static_cast<std::uint16_t>(number);
  }
  return parsed;
}

}  // namespace hta
