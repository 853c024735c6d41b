#include "fakes/fake_http.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace hta::fakes {
namespace {

// A range request's part of `get`: 206 with the body from byte N on, or 416
// for N at or past the end.
void CutRange(FakeHttp::GetReply& get, const std::string& headers) {
  std::size_t from = 0;
  const std::size_t at = headers.find("Range: bytes=");
  if (!get.honoursRanges || at == std::string::npos ||
      std::sscanf(headers.c_str() + at + 13, "%zu-", &from) != 1) {
    return;
  }
  const std::string size = std::to_string(get.body.size());
  get.status = from < get.body.size() ? 206 : 416;
  get.contentRange = from < get.body.size() ? "bytes " + std::to_string(from) + "-" +
                                                  std::to_string(get.body.size() - 1) + "/" + size
                                            : "bytes */" + size;
  get.body = from < get.body.size() ? get.body.substr(from) : "<html>416</html>";
  get.contentLength = static_cast<std::uint32_t>(get.body.size());
}

HttpEvent Event(HttpEvent::Kind kind) {
  HttpEvent event;
  event.kind = kind;
  return event;
}

HttpResponse ResponseOf(const FakeHttp::GetReply& get, bool secure) {
  HttpResponse response;
  response.status = get.status;
  response.contentLength = get.contentLength;
  response.contentRange = get.contentRange;
  response.secure = secure && !get.redirectedToHttp;
  if (get.status) {
    response.rawHeaders = "HTTP/1.1 " + std::to_string(*get.status) + " Fake\r\n" + get.headers + "\r\n";
  }
  return response;
}

bool HoldsLineBreak(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace

class FakeHttp::Exchange final : public HttpExchange {
 public:
  Exchange(FakeHttp& owner, std::vector<HttpEvent> events) : owner_(owner), events_(std::move(events)) {
    ++owner_.live_;
  }
  ~Exchange() override {
    --owner_.live_;
    if (next_ < events_.size() && !interrupted_) {
      ++owner_.abandoned;
    }
  }

  HttpEvent Next() override {
    // The wait dispatches what arrives meanwhile.
    owner_.pump_.DoEvents();
    if (interrupted_) {
      return Event(HttpEvent::Kind::Interrupted);
    }
    const std::size_t at = std::min(next_, events_.size() - 1);
    next_ = at + 1;
    if (events_[at].kind == HttpEvent::Kind::Body) {
      ++owner_.bodyEvents;
    }
    return events_[at];
  }

  void Interrupt() override { interrupted_ = true; }

 private:
  FakeHttp& owner_;
  std::vector<HttpEvent> events_;
  std::size_t next_ = 0;
  bool interrupted_ = false;
};

std::string FakeHttp::AddressOf(const HttpRequest& request) {
  const std::uint16_t ownPort = request.secure ? 443 : 80;
  return std::string(request.secure ? "https://" : "http://") + request.host +
         (request.port == ownPort ? "" : ":" + std::to_string(request.port)) + request.path;
}

std::vector<HttpEvent> FakeHttp::Script(const HttpRequest& request) {
  const auto found = gets_.find(AddressOf(request));
  if (request.method == "GET" && (found == gets_.end() || !found->second.opens)) {
    HttpEvent failed = Event(HttpEvent::Kind::Failed);
    failed.reason = "no response";
    return {failed};
  }
  if (request.method != "GET") {
    HttpEvent response = Event(HttpEvent::Kind::Response);
    response.response.secure = request.secure;
    return {response, Event(HttpEvent::Kind::End)};
  }
  GetReply get = found->second;
  CutRange(get, request.headers);
  std::vector<HttpEvent> events;
  events.push_back(Event(HttpEvent::Kind::Response));
  events.back().response = ResponseOf(get, request.secure);
  const std::size_t block = std::max<std::size_t>(get.largestRead, 1);
  for (std::size_t at = 0; at < get.body.size(); at += block) {
    events.push_back(Event(HttpEvent::Kind::Body));
    events.back().body = get.body.substr(at, block);
  }
  events.push_back(Event(HttpEvent::Kind::End));
  if (get.failingRead > 0 && get.failingRead < events.size()) {
    events.resize(get.failingRead + 1);
    events.back() = Event(HttpEvent::Kind::Failed);
    events.back().reason = "read failed";
  }
  return events;
}

std::unique_ptr<HttpExchange> FakeHttp::Start(const HttpRequest& request) {
  requests.push_back(request);
  for (const std::string* text : {&request.host, &request.path, &request.proxy, &request.proxyUser,
                                  &request.proxyPassword, &request.siteUser, &request.sitePassword}) {
    if (HoldsLineBreak(*text)) {
      problems.push_back("a request text holds a line break or a NUL");
    }
  }
  if (request.method == "GET") {
    gets.push_back(AddressOf(request));
  }
  return std::make_unique<Exchange>(*this, Script(request));
}

}  // namespace hta::fakes
