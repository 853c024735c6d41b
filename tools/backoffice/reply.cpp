#include "reply.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>

#include "lifetime.h"
#include "socket_io.h"
#include "text_util.h"

namespace backoffice {

namespace {

constexpr std::size_t kBodyBlock = 65536;

// Only "bytes=N-" and "bytes=N-M". Suffix ranges and lists come back false,
// which means "no Range header": a server may always ignore Range and send
// the whole body, so the simple reading is still a correct one.
bool ParseRange(std::string_view v, std::uint64_t* first, std::optional<std::uint64_t>* last) {
  v = TrimBlanks(v);
  if (v.size() < 5 || !EqualsIgnoringCase(v.substr(0, 5), "bytes")) {
    return false;
  }
  v = TrimBlanks(v.substr(5));
  if (v.empty() || v.front() != '=') {
    return false;
  }
  v = TrimBlanks(v.substr(1));
  std::size_t dash = v.find('-');
  if (dash == std::string_view::npos || v.find(',') != std::string_view::npos) {
    return false;
  }
  unsigned long long a = 0, b = 0;
  constexpr unsigned long long kMax = 1ULL << 62;
  if (!ParseDecimal(TrimBlanks(v.substr(0, dash)), kMax, &a)) {
    return false;
  }
  std::string_view rest = TrimBlanks(v.substr(dash + 1));
  if (rest.empty()) {
    last->reset();
  } else {
    if (!ParseDecimal(rest, kMax, &b) || b < a) {
      return false;
    }
    *last = b;
  }
  *first = a;
  return true;
}

std::string Hex(std::uint64_t n) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, n, 16);
  return std::string(buf, res.ptr);
}

// Body bytes [start, start + len) of `r`, framed as the scenario says and cut
// after close-after bytes of payload. A cut chunked body keeps the size line
// of the chunk it stops in, so the client sees a chunk that promised more
// than arrived, just like a real connection that dropped.
bool SendBody(Output& out, const Response& r, std::uint64_t start, std::uint64_t len) {
  const std::uint64_t budget = r.closeAfter ? std::min(*r.closeAfter, len) : len;
  std::string block;
  auto send_payload = [&](std::uint64_t from, std::uint64_t n) {
    while (n > 0) {
      std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, kBodyBlock));
      block.resize(take);
      r.ReadBody(start + from, block.data(), take);
      if (!out.Write(block)) {
        return false;
      }
      from += take;
      n -= take;
    }
    return true;
  };
  if (!r.chunked) {
    return send_payload(0, budget) && out.Flush();
  }

  std::uint64_t pos = 0;
  while (pos < len) {
    if (pos >= budget) {
      return out.Flush();
    }
    const std::uint64_t chunk = std::min(r.chunkSize, len - pos);
    const std::uint64_t take = std::min(chunk, budget - pos);
    if (!out.Write(Hex(chunk) + "\r\n") || !send_payload(pos, take)) {
      return false;
    }
    pos += take;
    if (take < chunk) {
      return out.Flush();
    }
    if (!out.Write("\r\n")) {
      return false;
    }
  }
  if (budget == len && !out.Write("0\r\n\r\n")) {
    return false;
  }
  return out.Flush();
}

// What part of the body goes out, under which status line, with which
// extra header lines.
struct Selection {
  std::string status;
  std::string extra;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  bool unsatisfiable = false;
};

Selection SelectRange(const RequestHead& req, const Response& r) {
  const std::uint64_t size = r.BodySize();
  Selection sel{r.status, "", 0, size, false};
  if (!r.ranges) {
    return sel;
  }
  sel.extra += "Accept-Ranges: bytes\r\n";
  const std::string* range = req.Find("Range");
  std::uint64_t first = 0;
  std::optional<std::uint64_t> last;
  if (range == nullptr || !ParseRange(*range, &first, &last)) {
    return sel;
  }
  if (first >= size) {
    sel.unsatisfiable = true;
    return sel;
  }
  sel.start = first;
  sel.end = last ? std::min(*last + 1, size) : size;
  sel.status = "HTTP/1.1 206 Partial Content";
  sel.extra += "Content-Range: bytes " + std::to_string(sel.start) + "-" + std::to_string(sel.end - 1) + "/" +
               std::to_string(size) + "\r\n";
  return sel;
}

// The value of the response's own header line `name`, or null.
const std::string* ResponseHeader(const Response& r, std::string_view name, std::string* value) {
  for (const std::string& line : r.headers) {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && EqualsIgnoringCase(std::string_view(line).substr(0, colon), name)) {
      *value = std::string(TrimBlanks(std::string_view(line).substr(colon + 1)));
      return value;
    }
  }
  return nullptr;
}

// Whether a conditional request may be answered 304: If-None-Match wins
// over If-Modified-Since, as a web server's static files answer. Dates are
// compared as sent, which is how a client that sends back the server's own
// value asks.
bool NotModified(const RequestHead& req, const Response& r) {
  std::string etag, lastModified;
  if (const std::string* match = req.Find("If-None-Match")) {
    if (ResponseHeader(r, "ETag", &etag) == nullptr && TrimBlanks(*match) != "*") {
      return false;
    }
    for (std::string_view rest = *match; !rest.empty();) {
      const std::size_t comma = rest.find(',');
      const std::string_view tag = TrimBlanks(rest.substr(0, comma));
      if (tag == "*" || tag == etag) {
        return true;
      }
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return false;
  }
  const std::string* since = req.Find("If-Modified-Since");
  return since != nullptr && ResponseHeader(r, "Last-Modified", &lastModified) != nullptr &&
         TrimBlanks(*since) == lastModified;
}

bool SendNotModified(int fd, const Response& r, bool keep_alive) {
  std::string h = "HTTP/1.1 304 Not Modified\r\n";
  for (const char* name : {"ETag", "Last-Modified"}) {
    std::string value;
    if (ResponseHeader(r, name, &value) != nullptr) {
      h += std::string(name) + ": " + value + "\r\n";
    }
  }
  h += keep_alive ? "\r\n" : "Connection: close\r\n\r\n";
  return SendAll(fd, h) && keep_alive;
}

bool SendUnsatisfiable(int fd, std::uint64_t size, bool keep_alive) {
  std::string h = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size) +
                  "\r\nContent-Length: 0\r\n" + (keep_alive ? "" : "Connection: close\r\n") + "\r\n";
  return SendAll(fd, h) && keep_alive;
}

std::string ResponseHead(const RequestHead& req, const Response& r, const Selection& sel, std::uint64_t len,
                         bool announced, bool closes) {
  std::string h = sel.status + "\r\n";
  for (const std::string& line : r.headers) {
    h += line + "\r\n";
  }
  h += sel.extra;
  if (r.chunked) {
    h += "Transfer-Encoding: chunked\r\n";
  } else if (r.lengthMode == LengthMode::kTrue) {
    h += "Content-Length: " + std::to_string(len) + "\r\n";
  } else if (r.lengthMode == LengthMode::kFixed) {
    h += "Content-Length: " + std::to_string(r.fixedLength) + "\r\n";
  }
  if (announced && !r.closes) {
    h += "Connection: close\r\n";
  } else if (!closes && req.minorVersion == 0) {
    h += "Connection: keep-alive\r\n";  // an HTTP/1.0 client assumes close unless told
  }
  h += "\r\n";
  return h;
}

}  // namespace

bool SendScenarioResponse(int fd, const RequestHead& req, const Response& r, bool keep_alive) {
  if (r.stallMs > 0 && !SleepUnlessStopping(r.stallMs)) {
    return false;
  }
  const bool head_only = req.method == "HEAD";
  if (r.conditional && (req.method == "GET" || head_only) && NotModified(req, r)) {
    return SendNotModified(fd, r, keep_alive);
  }
  const Selection sel = SelectRange(req, r);
  if (sel.unsatisfiable) {
    return SendUnsatisfiable(fd, r.BodySize(), keep_alive);
  }
  const std::uint64_t len = sel.end - sel.start;
  const bool lying = r.lengthMode == LengthMode::kFixed && r.fixedLength != len;
  // A close we announce: the client asked for it, or the body has no length
  // and only the close ends it. Faults (close-after, a lying length) close
  // without warning, because that is the fault being simulated; the close
  // after a lying length also keeps the stray bytes from being read as the
  // next response.
  const bool announced = !keep_alive || r.lengthMode == LengthMode::kNone;
  const bool closes = announced || r.closes || (!head_only && (r.closeAfter.has_value() || lying));

  Output out(fd);
  if (!out.Write(ResponseHead(req, r, sel, len, announced, closes))) {
    return false;
  }
  if (head_only) {
    return out.Flush() && !closes;
  }
  if (r.stallBodyMs > 0 && (!out.Flush() || !SleepUnlessStopping(r.stallBodyMs))) {
    return false;
  }
  out.Pace(r.dripBytes, r.dripMs, r.dripAfter);
  return SendBody(out, r, sel.start, len) && !closes;
}

bool SendSimple(int fd, const RequestHead* req, std::string_view status, std::string_view extra_headers,
                std::string_view content_type, std::string_view body, bool keep_alive) {
  std::string h(status);
  h += "\r\n";
  h += extra_headers;
  h += "Content-Type: ";
  h += content_type;
  h += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  if (!keep_alive) {
    h += "Connection: close\r\n";
  } else if (req != nullptr && req->minorVersion == 0) {
    h += "Connection: keep-alive\r\n";
  }
  h += "\r\n";
  if (req == nullptr || req->method != "HEAD") {
    h += body;
  }
  return SendAll(fd, h) && keep_alive;
}

}  // namespace backoffice
