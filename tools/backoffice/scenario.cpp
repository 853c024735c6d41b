#include "scenario.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "text_util.h"

namespace backoffice {

namespace {

// The pattern repeats every 251 bytes, so a table of one period plus a block
// serves any run with memcpy. Byte by byte, generating was the bottleneck of
// the download benchmarks (about 250 MB/s against several GB/s for memcpy).
constexpr std::size_t kPatternBlock = 65536;

void CopyPattern(std::uint64_t offset, char* out, std::size_t len) {
  static const std::string table = [] {
    std::string t(251 + kPatternBlock, '\0');
    for (std::size_t i = 0; i < t.size(); ++i) {
      t[i] = static_cast<char>(PatternByte(i));
    }
    return t;
  }();
  while (len > 0) {
    std::size_t n = std::min(len, kPatternBlock);
    std::memcpy(out, table.data() + offset % 251, n);
    out += n;
    offset += n;
    len -= n;
  }
}

}  // namespace

std::uint64_t Response::BodySize() const {
  std::uint64_t total = 0;
  for (const BodyPiece& p : body) {
    total += p.generated ? p.size : p.text.size();
  }
  return total;
}

void Response::ReadBody(std::uint64_t offset, char* out, std::size_t len) const {
  for (const BodyPiece& p : body) {
    if (len == 0) {
      return;
    }
    std::uint64_t size = p.generated ? p.size : p.text.size();
    if (offset >= size) {
      offset -= size;
      continue;
    }
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(len, size - offset));
    if (p.generated) {
      CopyPattern(offset, out, n);
    } else {
      std::memcpy(out, p.text.data() + offset, n);
    }
    out += n;
    len -= n;
    offset = 0;
  }
}

namespace {

// Limits that keep a typo from becoming a server that sleeps for a week or
// promises an exabyte.
constexpr unsigned long long kMaxMillis = 600000;
constexpr unsigned long long kMaxGenerated = 1ULL << 40;
constexpr unsigned long long kMaxChunk = 16ULL << 20;
constexpr unsigned long long kMaxLength = 1ULL << 50;
constexpr unsigned long long kMaxWaveSamples = 16ULL << 20;

std::string Little32(std::uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) {
    bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  return bytes;
}

// A whole wave file: PCM, one channel, 8000 samples a second of 8 bits,
// `samples` of silence (the 8-bit middle value).
std::string WaveFile(std::uint32_t samples) {
  const std::string format("\x01\x00\x01\x00\x40\x1F\x00\x00\x40\x1F\x00\x00\x01\x00\x08\x00", 16);
  std::string chunks = "fmt " + Little32(16) + format + "data" + Little32(samples) +
                       std::string(samples, '\x80') + std::string(samples % 2, '\0');
  return "RIFF" + Little32(static_cast<std::uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> words;
  while (true) {
    s = TrimBlanks(s);
    if (s.empty()) {
      return words;
    }
    std::size_t end = 0;
    while (end < s.size() && !IsBlank(s[end])) {
      ++end;
    }
    words.push_back(s.substr(0, end));
    s.remove_prefix(end);
  }
}

class Parser {
 public:
  Parser(const std::string& root, Scenario* out) : root_(root), out_(out) {}

  // Returns "" on success, else the message for this line.
  std::string Line(int number, std::string_view line) {
    std::string_view rest = line;
    while (!rest.empty() && IsBlank(rest.front())) {
      rest.remove_prefix(1);
    }
    if (rest.empty() || rest.front() == '#') {
      return "";
    }
    std::size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end])) {
      ++end;
    }
    std::string name(rest.substr(0, end));
    rest.remove_prefix(end);
    // Exactly the run of blanks after the directive goes; the rest is kept as
    // written, trailing blanks included, because a body line may need them.
    while (!rest.empty() && IsBlank(rest.front())) {
      rest.remove_prefix(1);
    }

    if (name == "proxy-auth") {
      return ProxyAuth(rest);
    }
    if (name == "route") {
      return StartRoute(number, rest);
    }
    if (name == "end") {
      return EndRoute(rest);
    }
    if (response_ == nullptr) {
      if (IsResponseDirective(name)) {
        return "'" + name + "' outside a route (missing 'route' line?)";
      }
      return "unknown directive '" + name + "'";
    }
    if (name == "next") {
      return Next(rest);
    }
    return ResponseLine(name, rest);
  }

 private:
  static bool IsResponseDirective(const std::string& name) {
    static const std::set<std::string> kNames = {"next",       "status",      "header",     "body",
                                                 "body-file",  "body-bytes",  "body-wave",  "content-length",
                                                 "chunked",    "close-after", "drip",       "stall",
                                                 "stall-body", "ranges",      "conditional"};
    return kNames.count(name) != 0;
  }

  std::string ProxyAuth(std::string_view arg) {
    if (!out_->routes.empty()) {
      return "'proxy-auth' must come before the first route";
    }
    if (!out_->proxyAuth.empty()) {
      return "'proxy-auth' given twice";
    }
    if (arg.find(':') == std::string_view::npos || Words(arg).size() != 1) {
      return "'proxy-auth' wants USER:PASSWORD (no blanks)";
    }
    out_->proxyAuth = std::string(arg);
    return "";
  }

  std::string StartRoute(int number, std::string_view arg) {
    std::vector<std::string_view> w = Words(arg);
    if (w.size() != 1 || w[0].front() != '/') {
      return "'route' wants one path starting with '/'";
    }
    std::string key(w[0]);
    Route route;
    route.line = number;
    route.path = key;
    std::size_t star = key.find('*');
    if (star != std::string::npos) {
      if (star != key.size() - 1) {
        return "'*' may only end a route path";
      }
      route.prefix = true;
      route.path.pop_back();
    }
    if (!route.prefix && route.path == kRequestsPath) {
      return std::string(kRequestsPath) + " is the server's own request log; pick another path";
    }
    if (!route.prefix && route.path == kSentPath) {
      return std::string(kSentPath) + " is the server's own byte count; pick another path";
    }
    auto [it, inserted] = lines_.emplace(key, number);
    if (!inserted) {
      return "route " + key + " already defined on line " + std::to_string(it->second);
    }
    route.responses.emplace_back();
    out_->routes.push_back(std::move(route));
    BeginResponse();
    return "";
  }

  std::string EndRoute(std::string_view arg) {
    if (!arg.empty()) {
      return "'end' takes no argument";
    }
    if (response_ == nullptr) {
      return "'end' without a route";
    }
    response_ = nullptr;
    return "";
  }

  std::string Next(std::string_view arg) {
    if (!arg.empty()) {
      return "'next' takes no argument";
    }
    out_->routes.back().responses.emplace_back();
    BeginResponse();
    return "";
  }

  void BeginResponse() {
    response_ = &out_->routes.back().responses.back();
    seen_.clear();
    lastWasBodyLine_ = false;
  }

  // Single-valued directives may appear once per response: a second "status"
  // is almost always a forgotten "next", and silently taking the last one
  // would make the test pass for the wrong reason.
  std::string Once(const std::string& name) {
    if (!seen_.insert(name).second) {
      return "'" + name + "' given twice in one response (use 'next' to start another response)";
    }
    return "";
  }

  std::string ResponseLine(const std::string& name, std::string_view arg) {
    if (name == "body") {
      AppendBodyLine(arg);
      lastWasBodyLine_ = true;
      return "";
    }
    lastWasBodyLine_ = false;
    if (name == "header") {
      return Header(arg);
    }
    if (name == "body-file") {
      return BodyFile(arg);
    }
    if (name == "body-bytes") {
      unsigned long long n = 0;
      if (!ParseDecimal(arg, kMaxGenerated, &n)) {
        return "'body-bytes' wants a byte count up to 2^40";
      }
      response_->body.push_back(BodyPiece{true, std::string(), n});
      return "";
    }
    if (name == "body-wave") {
      unsigned long long n = 0;
      if (!ParseDecimal(arg, kMaxWaveSamples, &n)) {
        return "'body-wave' wants a sample count up to 2^24";
      }
      response_->body.push_back(BodyPiece{false, WaveFile(static_cast<std::uint32_t>(n)), 0});
      return "";
    }
    std::string err = Once(name);
    return err.empty() ? SingleValued(name, arg) : err;
  }

  // Successive body lines are joined by "\n"; see README.md.
  void AppendBodyLine(std::string_view arg) {
    Response& r = *response_;
    if (lastWasBodyLine_) {
      r.body.back().text += '\n';
      r.body.back().text.append(arg);
    } else {
      r.body.push_back(BodyPiece{false, std::string(arg), 0});
    }
  }

  std::string SingleValued(const std::string& name, std::string_view arg) {
    Response& r = *response_;
    unsigned long long n = 0;
    if (name == "status") {
      if (arg.empty()) {
        return "'status' wants the whole status line, e.g. HTTP/1.1 200 OK";
      }
      r.status = std::string(arg);
    } else if (name == "content-length") {
      return ContentLength(arg);
    } else if (name == "chunked") {
      return Chunked(arg);
    } else if (name == "close-after") {
      if (!ParseDecimal(arg, kMaxLength, &n)) {
        return "'close-after' wants a byte count";
      }
      r.closeAfter = n;
    } else if (name == "drip") {
      return Drip(arg);
    } else if (name == "stall" || name == "stall-body") {
      if (!ParseDecimal(arg, kMaxMillis, &n)) {
        return "'" + name + "' wants milliseconds, at most 600000";
      }
      (name == "stall" ? r.stallMs : r.stallBodyMs) = static_cast<std::uint32_t>(n);
    } else if (name == "ranges" || name == "conditional") {
      if (!arg.empty()) {
        return "'" + name + "' takes no argument";
      }
      (name == "ranges" ? r.ranges : r.conditional) = true;
    } else {
      return "unknown directive '" + name + "'";
    }
    return "";
  }

  std::string ContentLength(std::string_view arg) {
    Response& r = *response_;
    unsigned long long n = 0;
    if (arg == "none") {
      r.lengthMode = LengthMode::kNone;
    } else if (ParseDecimal(arg, kMaxLength, &n)) {
      r.lengthMode = LengthMode::kFixed;
      r.fixedLength = n;
    } else {
      return "'content-length' wants a number or 'none'";
    }
    return r.chunked ? "'content-length' and 'chunked' cannot be combined" : "";
  }

  std::string Chunked(std::string_view arg) {
    Response& r = *response_;
    if (!arg.empty()) {
      unsigned long long n = 0;
      if (!ParseDecimal(arg, kMaxChunk, &n) || n == 0) {
        return "'chunked' takes a chunk size from 1 to 16 MiB";
      }
      r.chunkSize = n;
    }
    if (r.lengthMode != LengthMode::kTrue) {
      return "'content-length' and 'chunked' cannot be combined";
    }
    r.chunked = true;
    return "";
  }

  std::string Drip(std::string_view arg) {
    std::vector<std::string_view> w = Words(arg);
    unsigned long long bytes = 0, ms = 0, after = 0;
    if ((w.size() != 2 && w.size() != 3) || !ParseDecimal(w[0], kMaxChunk, &bytes) || bytes == 0 ||
        !ParseDecimal(w[1], kMaxMillis, &ms) || (w.size() == 3 && !ParseDecimal(w[2], kMaxLength, &after))) {
      return "'drip' wants BYTES MILLISECONDS [AFTER] (bytes >= 1, at most 600000 ms)";
    }
    response_->dripBytes = bytes;
    response_->dripMs = static_cast<std::uint32_t>(ms);
    response_->dripAfter = after;
    return "";
  }

  std::string Header(std::string_view arg) {
    std::size_t colon = arg.find(':');
    if (colon == std::string_view::npos || !IsToken(arg.substr(0, colon))) {
      return "'header' wants Name: value";
    }
    std::string_view field = arg.substr(0, colon);
    // The server frames every body itself; a second, hand-written framing
    // header would leave it unsure where the response ends.
    if (EqualsIgnoringCase(field, "Content-Length") || EqualsIgnoringCase(field, "Transfer-Encoding")) {
      return "set the framing with 'content-length' or 'chunked', not with a header";
    }
    if (EqualsIgnoringCase(field, "Connection") && ListHasToken(arg.substr(colon + 1), "close")) {
      response_->closes = true;
    }
    response_->headers.emplace_back(arg);
    return "";
  }

  std::string BodyFile(std::string_view arg) {
    if (arg.empty()) {
      return "'body-file' wants a file name";
    }
    std::string path(arg);
    if (path.front() != '/') {
      path = root_ + "/" + path;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      return "cannot read body file " + path + ": " + std::strerror(errno);
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
      return "cannot read body file " + path;
    }
    response_->body.push_back(BodyPiece{false, std::move(content).str(), 0});
    return "";
  }

  const std::string& root_;
  Scenario* out_;
  Response* response_ = nullptr;  // the response being filled; null outside routes
  std::set<std::string> seen_;
  bool lastWasBodyLine_ = false;
  std::map<std::string, int> lines_;  // route key -> line that defined it
};

void Replace(std::string* s, std::string_view from, std::string_view to) {
  for (std::size_t at = s->find(from); at != std::string::npos; at = s->find(from, at + to.size())) {
    s->replace(at, from.size(), to);
  }
}

}  // namespace

std::optional<ScenarioError> ParseScenario(std::string_view text, const std::string& root, Scenario* out) {
  *out = Scenario();
  Parser parser(root, out);
  int number = 0;
  while (!text.empty()) {
    ++number;
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    // A scenario saved by a Windows editor ends lines with CRLF; the CR is
    // not part of a body line.
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    if (line.find('\0') != std::string_view::npos) {
      return ScenarioError{number, "NUL byte in line"};
    }
    std::string err = parser.Line(number, line);
    if (!err.empty()) {
      return ScenarioError{number, err};
    }
  }
  return std::nullopt;
}

void SubstitutePort(Scenario* scenario, std::uint16_t port) {
  const std::string value = std::to_string(port);
  for (Route& route : scenario->routes) {
    for (Response& r : route.responses) {
      Replace(&r.status, "${PORT}", value);
      for (std::string& h : r.headers) {
        Replace(&h, "${PORT}", value);
      }
      for (BodyPiece& p : r.body) {
        if (!p.generated) {
          Replace(&p.text, "${PORT}", value);
        }
      }
    }
  }
}

int FindRoute(const Scenario& scenario, std::string_view path) {
  int best = -1;
  std::size_t best_len = 0;
  for (std::size_t i = 0; i < scenario.routes.size(); ++i) {
    const Route& r = scenario.routes[i];
    if (!r.prefix) {
      if (path == r.path) {
        return static_cast<int>(i);
      }
    } else if (path.substr(0, r.path.size()) == r.path && (best < 0 || r.path.size() > best_len)) {
      best = static_cast<int>(i);
      best_len = r.path.size();
    }
  }
  return best;
}

}  // namespace backoffice
