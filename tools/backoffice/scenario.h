#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace backoffice {

// What the back office answers, read once at start from a scenario file (the
// format is described in README.md). Immutable once the server listens, so
// connection threads read it without locks; only the per-route "which
// response is next" counters live elsewhere, behind a mutex.

// One piece of a response body. Generated pieces let a benchmark ask for a
// body of hundreds of megabytes that never exists in memory or on disk.
struct BodyPiece {
  bool generated = false;
  std::string text;        // the bytes, when !generated
  std::uint64_t size = 0;  // the length, when generated
};

// Byte `i` of a generated piece, counted from the start of that piece. 251 is
// prime, so the pattern does not line up with any power-of-two buffer size and
// a misplaced block shows up as wrong bytes, not as a lucky match.
inline unsigned char PatternByte(std::uint64_t i) {
  return static_cast<unsigned char>((i % 251) * 7 % 251);
}

enum class LengthMode {
  kTrue,   // Content-Length is the length actually sent
  kFixed,  // Content-Length is `fixedLength`, whatever is sent
  kNone,   // no Content-Length; the body ends when the connection closes
};

struct Response {
  std::string status = "HTTP/1.1 200 OK";
  std::vector<std::string> headers;  // "Name: value", sent as written
  std::vector<BodyPiece> body;
  LengthMode lengthMode = LengthMode::kTrue;
  std::uint64_t fixedLength = 0;
  bool chunked = false;
  std::uint64_t chunkSize = 4096;
  std::optional<std::uint64_t> closeAfter;  // body bytes sent before the connection drops
  std::uint64_t dripBytes = 0;              // 0 = no pacing
  std::uint32_t dripMs = 0;
  std::uint64_t dripAfter = 0;    // body bytes sent at full speed before the drip
  std::uint32_t stallMs = 0;      // before anything is sent
  std::uint32_t stallBodyMs = 0;  // between the header block and the body
  bool ranges = false;
  // Answers a request whose If-None-Match names this response's ETag (or
  // "*"), or, without If-None-Match, whose If-Modified-Since is this
  // response's Last-Modified, with 304 Not Modified and no body.
  bool conditional = false;
  bool closes = false;  // the scenario wrote its own "Connection: close"

  std::uint64_t BodySize() const;
  // Copies body bytes [offset, offset + len); the range must lie inside the body.
  void ReadBody(std::uint64_t offset, char* out, std::size_t len) const;
};

struct Route {
  int line = 0;
  std::string path;                 // for a prefix route, without its trailing '*'
  bool prefix = false;              // "route /files/*" answers every path starting with "/files/"
  std::vector<Response> responses;  // used in turn; the last one repeats
};

struct Scenario {
  std::string proxyAuth;  // "user:password"; empty = no proxy authentication
  std::vector<Route> routes;
};

struct ScenarioError {
  int line = 0;
  std::string message;
};

// The route that serves the request log; the server owns it, so no scenario
// may claim it.
inline constexpr std::string_view kRequestsPath = "/__requests";
// The route that tells how many bytes the scenario's answers have sent.
inline constexpr std::string_view kSentPath = "/__sent";

// Parses the scenario text. Body files named by relative paths are read from
// `root` now, so a missing file is reported with its line before the server
// starts listening.
std::optional<ScenarioError> ParseScenario(std::string_view text, const std::string& root, Scenario* out);

// Replaces "${PORT}" in status lines, headers and bodies. Runs after bind(),
// because with --port 0 the port is only known then.
void SubstitutePort(Scenario* scenario, std::uint16_t port);

// The route answering `path`: an exact route wins, then the longest prefix
// route. -1 when none does.
int FindRoute(const Scenario& scenario, std::string_view path);

}  // namespace backoffice
