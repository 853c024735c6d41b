#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace hta {

// How a request reaches the network.
enum class HttpAccess {
  Preconfigured,  // the system's internet settings
  Proxy,          // the proxy named in the request
  Direct,         // no proxy
};

// One HTTP request, whole: everything the platform needs to send it, so a
// worker can carry it out without asking the core anything.
//
// Texts are ANSI byte strings, sent as they are. None may hold a NUL; the
// core never builds one that holds a control character.
struct HttpRequest {
  std::string method = "GET";  // "GET" or "HEAD"
  // "HTTP/1.0", or empty for the platform's default (HTTP/1.1).
  std::string version;
  bool secure = false;  // https: TLS, with the certificate checked
  std::string host;
  std::uint16_t port = 80;
  // From its first "/" on, query included; empty asks for the root.
  std::string path;
  // Extra header lines, each ending in CR LF; may be empty.
  std::string headers;
  // The site's credentials, given to the connection; an empty user means
  // none (and the password is then not given either).
  std::string siteUser;
  std::string sitePassword;
  HttpAccess access = HttpAccess::Preconfigured;
  // "host:port" of the proxy; used only with HttpAccess::Proxy.
  std::string proxy;
  // Set on the request before its one send, each when not empty, so the
  // platform answers a proxy's demand for them itself. Never sent to the
  // server, never logged.
  std::string proxyUser;
  std::string proxyPassword;
  // The connect, send and receive time limits, each: no call of the
  // transfer waits longer than this for the network.
  std::uint32_t callMilliseconds = 30000;
  // After the response, the longest the body may go without handing over a
  // byte: the exchange then fails. A read may wait for more than has
  // arrived, and a byte now and then keeps every call within its limit, so
  // only this bounds a body that slows to a trickle.
  std::uint32_t quietMilliseconds = 60000;
};

// What the response said about itself, read once its headers have arrived.
struct HttpResponse {
  // Each absent when the response lacks it or it is not a 32-bit number.
  std::optional<std::uint32_t> status;
  std::optional<std::uint32_t> contentLength;
  // The Content-Range value as sent; absent when there is none.
  std::optional<std::string> contentRange;
  // The status line and header lines, each ending in CR LF, as the platform
  // gives them (at most 64 KiB); empty when they could not be read.
  std::string rawHeaders;
  // The response came over TLS: false for one that a redirect took off
  // https.
  bool secure = false;
};

// One step of a transfer, in the order they come: Response, then Body any
// number of times, then End; or Failed at any point instead of the rest.
// A HEAD request has no Body. Interrupted is the core's own stop.
struct HttpEvent {
  enum class Kind { Response, Body, End, Failed, Interrupted };
  Kind kind = Kind::Failed;
  HttpResponse response;  // Response only
  // Body only: the next bytes that arrived, in order, as many as are at
  // hand (up to the platform's batch); never empty.
  std::string body;
  // Failed only: why, for the log. Holds no address, user or password.
  std::string reason;
};

// One transfer in flight. Made by HttpClient::Start, used and destroyed on
// the GUI thread only.
class HttpExchange {
 public:
  // Abandons the transfer when it has not ended: returns at once, and never
  // waits for the network. What carries it out then stops within the
  // request's time limits, closes only what it opened, and touches nothing
  // of the program's. The process may end while it is still blocked.
  virtual ~HttpExchange() = default;

  // The next event. Waits for it while running the GUI thread's message
  // loop, so the window answers, paints and ticks while the network is slow.
  // After End, Failed or Interrupted it returns the same kind again.
  //
  // RE-ENTRY: any handler of the program may run inside this call (a tick, a
  // click, Exit), including one that starts another exchange and waits for
  // it, or one that calls Interrupt() on this one. Callers must not hold
  // references into state that such handlers may change.
  virtual HttpEvent Next() = 0;

  // Makes Next() return Interrupted from now on: a call waiting inside it
  // returns as soon as the handler that interrupted it has returned. Bytes
  // that arrived and were not taken are dropped. GUI thread only.
  virtual void Interrupt() = 0;
};

// Starts transfers. Borrowed by the core; must outlive every exchange it
// made.
class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // Starts `request` and returns at once, never null. A request that cannot
  // be carried out shows as Failed from its first Next(). Never re-enters
  // the core.
  virtual std::unique_ptr<HttpExchange> Start(const HttpRequest& request) = 0;
};

}  // namespace hta
