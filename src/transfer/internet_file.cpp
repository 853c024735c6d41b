#include "transfer/internet_file.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "common/control_characters.h"
#include "ports/log.h"
#include "transfer/http_address.h"

// The control's life, the requests it makes, the wait for their events and
// its own events.
namespace hta {

InternetFile::InternetFile(HttpClient& http, FileSystem& files, Clock& clock)
    : http_(http), files_(files), clock_(clock) {}

class InternetFile::RunningScope {
 public:
  RunningScope(InternetFile& owner, HttpExchange& exchange) : owner_(owner), exchange_(exchange) {
    owner_.running_.push_back(&exchange_);
  }
  ~RunningScope() { std::erase(owner_.running_, &exchange_); }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

 private:
  InternetFile& owner_;
  HttpExchange& exchange_;
};

void InternetFile::CancelDownload() {
  cancelRequested_ = true;
  // A copy: an interrupted wait unwinds only after this handler returns, but
  // nothing here may depend on that.
  const std::vector<HttpExchange*> running = running_;
  for (HttpExchange* exchange : running) {
    exchange->Interrupt();
  }
}

std::optional<HttpRequest> InternetFile::MakeRequest(const std::string& address, const char* method) const {
  if (HasControlCharacter(address) || !https_.Allows(address)) {
    return std::nullopt;
  }
  const std::optional<HttpAddress> parsed = ParseHttpAddress(address);
  if (!parsed) {
    return std::nullopt;
  }
  HttpRequest request;
  switch (connectType_) {
    case 0:
      request.access = HttpAccess::Preconfigured;
      break;
    case 1:
      request.access = HttpAccess::Proxy;
      // A port is 0 to 65535: one above 32767 is kept in the signed field as
      // its 16-bit pattern and must not come out as a negative number.
      request.proxy = proxyServer_ + ":" + std::to_string(static_cast<std::uint16_t>(proxyPort_));
      break;
    case 2:
      request.access = HttpAccess::Direct;
      break;
    default:
      // No way to reach the network was chosen.
      return std::nullopt;
  }
  request.method = method;
  request.secure = parsed->secure;
  request.host = parsed->host;
  request.port = parsed->port;
  request.path = parsed->path;
  request.proxyUser = proxyUser_;
  request.proxyPassword = proxyPassword_;
  request.callMilliseconds = limits_.callMilliseconds;
  request.quietMilliseconds =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(limits_.slowWindowMicroseconds / 1000, UINT32_MAX));
  return request;
}

HttpEvent InternetFile::Next(HttpExchange& exchange) {
  const RunningScope scope(*this, exchange);
  // A cancel given between two waits (in an event handler) counts as much
  // as one given during a wait.
  if (cancelRequested_) {
    exchange.Interrupt();
  }
  return exchange.Next();
}

void InternetFile::LogTransferTime(const std::string& address, const std::string& what,
                                   std::uint64_t started) {
  LogDebug("Transfer " + LogAddress(address) + ": " + what + " in " +
           std::to_string((clock_.MonotonicMicroseconds() - started) / 1000) + " ms");
}

// --- Events.

void InternetFile::RaiseComplete() {
  if (events_ != nullptr) {
    events_->DownloadComplete();
  }
}

void InternetFile::RaiseProgress(std::int32_t& total) {
  if (events_ != nullptr) {
    events_->DownloadProgress(total);
  }
}

void InternetFile::RaiseError(std::string_view text) {
  std::string description(text);
  if (events_ != nullptr) {
    events_->DownloadError(description);
  }
}

void InternetFile::RaiseCancelled(std::int32_t& total) {
  if (events_ != nullptr) {
    events_->DownloadCancelled(total);
  }
}

}  // namespace hta
