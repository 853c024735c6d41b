#include "connection.h"

#include <charconv>
#include <string_view>

#include "http_head.h"
#include "reply.h"
#include "socket_io.h"
#include "text_util.h"

namespace backoffice {

namespace {

// Heads larger than this get 431. WinINet's heads are well under 2 KiB; the
// bound only protects the server from a client that never sends the blank line.
constexpr std::size_t kMaxHead = 65536;
constexpr std::size_t kMaxChunkLine = 4096;

constexpr std::string_view kHtml = "text/html; charset=utf-8";
constexpr std::string_view k400 =
    "<html><head><title>400 Bad Request</title></head><body><h1>Bad Request</h1></body></html>\n";
constexpr std::string_view k404 =
    "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n";
constexpr std::string_view k405 =
    "<html><head><title>405 Method Not Allowed</title></head><body><h1>Method Not "
    "Allowed</h1></body></html>\n";
constexpr std::string_view k407 =
    "<html><head><title>407 Proxy Authentication Required</title></head>"
    "<body><h1>Proxy Authentication Required</h1></body></html>\n";
constexpr std::string_view k431 =
    "<html><head><title>431 Request Header Fields Too Large</title></head>"
    "<body><h1>Request Header Fields Too Large</h1></body></html>\n";

enum class BodyRead { kOk, kClosed, kBad };

bool ClientKeepsAlive(const RequestHead& req) {
  // WinINet talking to a proxy says Proxy-Connection rather than Connection.
  const std::string* conn = req.Find("Connection");
  const std::string* proxy = req.Find("Proxy-Connection");
  if ((conn != nullptr && ListHasToken(*conn, "close")) ||
      (proxy != nullptr && ListHasToken(*proxy, "close"))) {
    return false;
  }
  if (req.minorVersion >= 1) {
    return true;
  }
  return (conn != nullptr && ListHasToken(*conn, "keep-alive")) ||
         (proxy != nullptr && ListHasToken(*proxy, "keep-alive"));
}

// Reads and forgets a chunked request body, trailers included.
BodyRead SkipChunked(Input& in) {
  std::string line;
  for (;;) {
    Input::Line got = in.ReadLine(&line, kMaxChunkLine);
    if (got != Input::Line::kOk) {
      return got == Input::Line::kClosed ? BodyRead::kClosed : BodyRead::kBad;
    }
    std::string_view digits = TrimBlanks(std::string_view(line).substr(0, line.find(';')));
    std::uint64_t size = 0;
    auto res = std::from_chars(digits.data(), digits.data() + digits.size(), size, 16);
    if (digits.empty() || res.ec != std::errc() || res.ptr != digits.data() + digits.size()) {
      return BodyRead::kBad;
    }
    if (size == 0) {
      break;
    }
    if (!in.Discard(size)) {
      return BodyRead::kClosed;
    }
    got = in.ReadLine(&line, kMaxChunkLine);
    if (got != Input::Line::kOk) {
      return got == Input::Line::kClosed ? BodyRead::kClosed : BodyRead::kBad;
    }
    if (!line.empty()) {
      return BodyRead::kBad;
    }
  }
  std::size_t trailers = 0;
  do {
    Input::Line got = in.ReadLine(&line, kMaxHead);
    if (got != Input::Line::kOk) {
      return got == Input::Line::kClosed ? BodyRead::kClosed : BodyRead::kBad;
    }
    trailers += line.size();
    if (trailers > kMaxHead) {
      return BodyRead::kBad;
    }
  } while (!line.empty());
  return BodyRead::kOk;
}

// The request body is never used (the log holds heads only) but must be read
// past, or its bytes would be taken for the next request on the connection.
BodyRead SkipRequestBody(int fd, Input& in, const RequestHead& req) {
  const std::string* length = nullptr;
  const std::string* coding = nullptr;
  for (const auto& [name, value] : req.headers) {
    if (EqualsIgnoringCase(name, "Content-Length")) {
      // Two different lengths, or a length beside chunked coding, is the
      // classic smuggling shape; refuse rather than guess.
      if (length != nullptr && *length != value) {
        return BodyRead::kBad;
      }
      length = &value;
    } else if (EqualsIgnoringCase(name, "Transfer-Encoding")) {
      if (coding != nullptr) {
        return BodyRead::kBad;
      }
      coding = &value;
    }
  }
  unsigned long long n = 0;
  if (coding != nullptr) {
    if (length != nullptr || !EqualsIgnoringCase(TrimBlanks(*coding), "chunked")) {
      return BodyRead::kBad;
    }
  } else if (length != nullptr) {
    if (!ParseDecimal(*length, 1ULL << 50, &n)) {
      return BodyRead::kBad;
    }
  }
  const bool has_body = coding != nullptr || n > 0;
  if (has_body && req.minorVersion >= 1) {
    const std::string* expect = req.Find("Expect");
    if (expect != nullptr && EqualsIgnoringCase(TrimBlanks(*expect), "100-continue") &&
        !SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n")) {
      return BodyRead::kClosed;
    }
  }
  if (coding != nullptr) {
    return SkipChunked(in);
  }
  return in.Discard(n) ? BodyRead::kOk : BodyRead::kClosed;
}

bool ProxyAuthorized(const RequestHead& req, const std::string& credentials) {
  const std::string* value = req.Find("Proxy-Authorization");
  if (value == nullptr) {
    return false;
  }
  std::string_view v = TrimBlanks(*value);
  std::size_t blank = v.find_first_of(" \t");
  if (blank == std::string_view::npos || !EqualsIgnoringCase(v.substr(0, blank), "Basic")) {
    return false;
  }
  return TrimBlanks(v.substr(blank)) == credentials;
}

bool Respond(int fd, const RequestHead& req, ServerState& state, bool keep_alive) {
  // The log route ignores proxy-auth: a test reads it directly, not through
  // the proxy whose credentials it is checking.
  if (req.path == kRequestsPath || req.path == kSentPath) {
    const UncountedSends own;
    const std::string body =
        req.path == kRequestsPath ? state.log().Snapshot() : std::to_string(BytesSent()) + "\n";
    return SendSimple(fd, &req, "HTTP/1.1 200 OK", "", "text/plain; charset=utf-8", body, keep_alive);
  }
  if (!state.ProxyCredentials().empty() && !ProxyAuthorized(req, state.ProxyCredentials())) {
    return SendSimple(fd, &req, "HTTP/1.1 407 Proxy Authentication Required",
                      "Proxy-Authenticate: Basic realm=\"loopback\"\r\n", kHtml, k407, keep_alive);
  }
  if (req.method == "CONNECT") {
    // No tunnels: this server never opens a connection of its own.
    return SendSimple(fd, &req, "HTTP/1.1 405 Method Not Allowed", "", kHtml, k405, false);
  }
  int route = FindRoute(state.scenario(), req.path);
  if (route < 0) {
    return SendSimple(fd, &req, "HTTP/1.1 404 Not Found", "", kHtml, k404, keep_alive);
  }
  return SendScenarioResponse(fd, req, state.NextResponse(route), keep_alive);
}

}  // namespace

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += kAlphabet[v & 63];
  }
  if (i + 1 == bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += '=';
  }
  return out;
}

ServerState::ServerState(const Scenario& scenario, RequestLog& log)
    : scenario_(scenario), log_(log), next_(scenario.routes.size(), 0) {
  if (!scenario.proxyAuth.empty()) {
    proxyCredentials_ = Base64(scenario.proxyAuth);
  }
}

const Response& ServerState::NextResponse(int route) {
  const std::vector<Response>& responses = scenario_.routes[static_cast<std::size_t>(route)].responses;
  std::lock_guard<std::mutex> lock(mu_);
  std::size_t& next = next_[static_cast<std::size_t>(route)];
  const Response& r = responses[next];
  if (next + 1 < responses.size()) {
    ++next;
  }
  return r;
}

void ServeConnection(int fd, ServerState& state) {
  Input in(fd);
  std::string& buf = in.buffer();
  for (;;) {
    std::size_t end;
    for (;;) {
      // Stray CRLFs between requests (some clients add one after a POST
      // body) are skipped, as HTTP/1.1 asks of a server.
      std::size_t start = buf.find_first_not_of("\r\n");
      buf.erase(0, start == std::string::npos ? buf.size() : start);
      end = FindHeadEnd(buf);
      if (end != std::string::npos || buf.size() > kMaxHead) {
        break;
      }
      if (!in.Fill()) {
        return;
      }
    }
    if (end == std::string::npos || end > kMaxHead) {
      SendSimple(fd, nullptr, "HTTP/1.1 431 Request Header Fields Too Large", "", kHtml, k431, false);
      CloseGracefully(fd);
      return;
    }
    RequestHead req;
    const bool parsed = ParseRequestHead(std::string_view(buf).substr(0, end), &req);
    buf.erase(0, end);
    if (!parsed) {
      SendSimple(fd, nullptr, "HTTP/1.1 400 Bad Request", "", kHtml, k400, false);
      CloseGracefully(fd);
      return;
    }
    if (req.path != kRequestsPath && req.path != kSentPath) {
      state.log().Record(req);
    }

    BodyRead body = SkipRequestBody(fd, in, req);
    if (body == BodyRead::kClosed) {
      return;
    }
    if (body == BodyRead::kBad) {
      SendSimple(fd, nullptr, "HTTP/1.1 400 Bad Request", "", kHtml, k400, false);
      CloseGracefully(fd);
      return;
    }
    if (!Respond(fd, req, state, ClientKeepsAlive(req))) {
      CloseGracefully(fd);
      return;
    }
  }
}

}  // namespace backoffice
