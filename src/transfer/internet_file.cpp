#include "transfer/internet_file.h"

#include <utility>

// The control's life, its one session, the message loop between its steps
// and its events.
namespace hta {

InternetFile::InternetFile(HttpCalls& http, MessagePump& pump, FileSystem& files, Clock& clock)
    : http_(http), pump_(pump), files_(files), clock_(clock) {}

void InternetFile::DoEvents() {
  if (lastSweepEnd_ && clock_.MonotonicMicroseconds() - *lastSweepEnd_ < kPumpIntervalMicroseconds) {
    return;
  }
  pump_.DoEvents();
  lastSweepEnd_ = clock_.MonotonicMicroseconds();
}

InternetFile::~InternetFile() {
  if (session_) {
    session_->Close();
  }
}

// --- Session.

void InternetFile::OpenSession() {
  std::uint32_t accessType = 0;
  std::string proxy;
  switch (connectType_) {
    case 0:
      accessType = kInternetOpenTypePreconfig;
      break;
    case 1:
      accessType = kInternetOpenTypeProxy;
      // A port is 0 to 65535: one above 32767 is kept in the signed field as
      // its 16-bit pattern and must not come out as a negative number.
      proxy = proxyServer_ + ":" + std::to_string(static_cast<std::uint16_t>(proxyPort_));
      break;
    case 2:
      accessType = kInternetOpenTypeDirect;
      break;
    default:
      // No way to reach the network was chosen: the field stays as it is.
      return;
  }
  const std::string agent(kInternetFileUserAgent);
  const InternetHandle handle =
      http_.Open(agent.c_str(), accessType, proxy.empty() ? nullptr : proxy.c_str(), nullptr, 0);
  session_ = handle ? std::make_shared<OwnedInternetHandle>(http_, handle) : nullptr;
}

void InternetFile::SetProxyCredentials(InternetHandle handle) {
  // WinINet wants each value with its terminating NUL, counted.
  if (!proxyUser_.empty()) {
    const std::string value = proxyUser_ + '\0';
    http_.SetOption(handle, kInternetOptionProxyUsername, value);
  }
  if (!proxyPassword_.empty()) {
    const std::string value = proxyPassword_ + '\0';
    http_.SetOption(handle, kInternetOptionProxyPassword, value);
  }
}

void InternetFile::CloseSession(const Session& session) {
  if (session) {
    session->Close();
  }
  // A transfer nested in this one may have closed our session and left a
  // session of its own in the field, for reuse; that one is not ours to drop.
  if (session_ == session) {
    session_.reset();
  }
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
