#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "request_log.h"
#include "scenario.h"

namespace backoffice {

// What every connection thread shares. The scenario is read-only; the log and
// the response counters lock for themselves.
class ServerState {
 public:
  ServerState(const Scenario& scenario, RequestLog& log);

  const Scenario& scenario() const { return scenario_; }
  RequestLog& log() { return log_; }
  // base64("user:password") when proxy-auth is set, else "".
  const std::string& ProxyCredentials() const { return proxyCredentials_; }

  // The response route `route` gives now. Counters are per route and shared
  // by all connections: "first login fails, second works" must hold even
  // when the client opens a new connection for the second try.
  const Response& NextResponse(int route);

 private:
  const Scenario& scenario_;
  RequestLog& log_;
  std::string proxyCredentials_;
  std::mutex mu_;
  std::vector<std::size_t> next_;
};

// Serves requests on `fd` until the client closes, a response ends the
// connection, the connection idles out or the server stops. Leaves `fd`
// open; the caller closes it.
void ServeConnection(int fd, ServerState& state);

std::string Base64(std::string_view bytes);

}  // namespace backoffice
