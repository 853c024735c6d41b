#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_message_pump.h"
#include "ports/http.h"

namespace hta::fakes {

// Scripted transfers: what a GET of each address gets is set before a test
// runs; a HEAD gets a response with nothing in it. Every wait for an event
// first runs the fake message loop once, as the real wait dispatches what
// arrives, so a test can tick, click or exit in the middle of a transfer
// (FakeMessagePump::At).
class FakeHttp final : public HttpClient {
 public:
  // What a GET of one address ("http://host/path", "https://" for TLS,
  // ":port" when not the scheme's own) gets.
  struct GetReply {
    bool opens = true;                          // false: it fails with no response
    std::optional<std::uint32_t> status = 200;  // nullopt: the response has none
    std::string body{};
    // Set it larger than the body for a connection that breaks early.
    std::optional<std::uint32_t> contentLength{};
    // A "Range: bytes=N-" request gets 206 with the rest, or 416 past the end.
    bool honoursRanges = false;
    std::optional<std::string> contentRange{};  // of a reply that is not a range's
    std::string headers{};                      // extra raw header lines, each ending in CR LF
    std::size_t failingRead = 0;                // 1-based event after the response that fails; 0: none
    std::size_t largestRead = SIZE_MAX;         // bytes in each Body event
    bool redirectedToHttp = false;              // answered without TLS
  };

  explicit FakeHttp(FakeMessagePump& pump) : pump_(pump) {}

  void SetGet(const std::string& url, GetReply reply) { gets_[url] = std::move(reply); }

  std::unique_ptr<HttpExchange> Start(const HttpRequest& request) override;

  // Every request started, in order.
  std::vector<HttpRequest> requests;
  std::vector<std::string> gets;  // address of each GET started
  std::size_t bodyEvents = 0;     // Body events handed out
  // Contract breaches seen: a request text with a NUL, CR or LF where none
  // may be.
  std::vector<std::string> problems;
  // Exchanges made and not yet destroyed.
  std::size_t LiveExchanges() const { return live_; }
  // Exchanges destroyed before their end: abandoned.
  std::size_t abandoned = 0;

  // The address a request is for, as SetGet names it.
  static std::string AddressOf(const HttpRequest& request);

 private:
  class Exchange;
  std::vector<HttpEvent> Script(const HttpRequest& request);

  FakeMessagePump& pump_;
  std::map<std::string, GetReply> gets_;
  std::size_t live_ = 0;
};

}  // namespace hta::fakes
