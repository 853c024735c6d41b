#pragma once

#include <string_view>

#include "http_head.h"
#include "scenario.h"

namespace backoffice {

// Writing responses: the scenario's, with all their deliberate faults, and
// the server's own fixed ones. Both return whether the connection may carry
// another request (false also when the client went away mid-write).

// Sends response `r` to request `req`. `keep_alive` is what the client asked
// for; the response may still end the connection (close-after, a lying
// Content-Length, no Content-Length at all).
bool SendScenarioResponse(int fd, const RequestHead& req, const Response& r, bool keep_alive);

// Sends one of the server's own answers. `extra_headers` is empty or whole
// lines, each ending in CRLF. `req` may be null when the request could not be
// parsed. The body is left out for HEAD.
bool SendSimple(int fd, const RequestHead* req, std::string_view status, std::string_view extra_headers,
                std::string_view content_type, std::string_view body, bool keep_alive);

}  // namespace backoffice
