#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hta {

// An address split for InternetConnect and HttpOpenRequest.
struct HttpAddress {
  bool secure = false;  // https
  std::string host;
  std::uint16_t port = 80;
  std::string path;  // from the first "/" or "?" on; empty for the root
};

// "http://" or "https://" (any case), a host (a name, an IPv4 address or an
// IPv6 one in brackets), an optional port 1 to 65535, then the path; a
// "#fragment" is dropped. nullopt for anything else: another scheme, no
// host, user information ("@" before the path), a bad port.
std::optional<HttpAddress> ParseHttpAddress(std::string_view address);

}  // namespace hta
