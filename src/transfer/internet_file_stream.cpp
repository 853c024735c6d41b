#include "transfer/internet_file.h"

#include <utility>

#include "ports/log.h"
#include "transfer/response_headers.h"

// Opening an address for a transfer, and reading its body within the
// limits.
namespace hta {
InternetFile::Opened InternetFile::OpenAddress(const std::string& address, std::int32_t rangeFrom,
                                               bool& interrupted) {
  interrupted = false;
  responseStatus_.reset();
  responseHeaders_.clear();
  Opened opened;
  std::optional<HttpRequest> request = MakeRequest(address, "GET");
  if (!request) {
    LogInfo("Transfer failed: " + LogAddress(address) +
            (https_.Allows(address) ? ": not opened" : ": HTTPS required"));
    return opened;
  }
  // Cancelled during the header request: nothing more goes out.
  if (cancelRequested_) {
    interrupted = true;
    return opened;
  }
  request->headers = requestHeaders_;
  if (rangeFrom > 0) {
    request->headers += "Range: bytes=" + std::to_string(rangeFrom) + "-\r\n";
  }
  std::unique_ptr<HttpExchange> exchange = http_.Start(*request);
  const HttpEvent event = Next(*exchange);
  if (event.kind == HttpEvent::Kind::Interrupted) {
    interrupted = true;
    return opened;
  }
  if (event.kind != HttpEvent::Kind::Response) {
    LogInfo("Transfer failed: " + LogAddress(address) + ": no response");
    return opened;
  }
  // Where HTTPS is required, a response that did not come over TLS (a
  // redirect away from https) counts as no response.
  if (!https_.Accepts(event.response.secure)) {
    LogInfo("Transfer failed: " + LogAddress(address) + ": HTTPS required");
    return opened;
  }
  opened.response = event.response;
  opened.markMicroseconds = clock_.MonotonicMicroseconds();
  responseStatus_ = opened.response.status;
  responseHeaders_ = opened.response.rawHeaders;
  const std::optional<std::uint32_t> status = opened.response.status;
  if (status && *status >= kHttpFirstFailure) {
    // A resumed file that is already whole asks for a range past the end,
    // which the server refuses, naming the resource's size.
    const auto& range = opened.response.contentRange;
    const auto parsedRange = range ? ParseContentRange(*range) : std::nullopt;
    if (*status == kHttpRangeNotSatisfiable && rangeFrom > 0 && parsedRange && !parsedRange->first &&
        parsedRange->size == rangeFrom) {
      opened.nothingLeft = true;
      opened.exchange = std::move(exchange);
      return opened;
    }
    // An error page is not the resource.
    LogInfo("Transfer failed: " + LogAddress(address) + ": HTTP " + std::to_string(*status));
    return opened;
  }
  opened.exchange = std::move(exchange);
  return opened;
}

InternetFile::Read InternetFile::ReadBody(Opened& opened, std::string& bytes) {
  bytes.clear();
  HttpEvent event = Next(*opened.exchange);
  switch (event.kind) {
    case HttpEvent::Kind::Body:
      break;
    case HttpEvent::Kind::End:
      return Read::End;
    case HttpEvent::Kind::Interrupted:
      return Read::Interrupted;
    default:
      return Read::Failed;
  }
  bytes = std::move(event.body);
  opened.sinceMark += static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), limits_.leastBytes));
  const std::uint64_t now = clock_.MonotonicMicroseconds();
  if (opened.sinceMark >= limits_.leastBytes) {
    opened.markMicroseconds = now;
    opened.sinceMark = 0;
  } else if (now - opened.markMicroseconds > limits_.slowWindowMicroseconds) {
    // A trickle just fast enough for the per-call limits would otherwise
    // hold the transfer, and everything waiting for it, for ever.
    LogInfo("Time limit hit: " + LogAddress(url_) + ": link too slow");
    return Read::Failed;
  }
  return Read::Bytes;
}

InternetFile::Read InternetFile::SkipBytes(Opened& opened, std::int32_t count, std::string& rest) {
  auto remaining = static_cast<std::size_t>(count);
  std::string bytes;
  while (remaining > 0) {
    const Read read = ReadBody(opened, bytes);
    if (read != Read::Bytes) {
      return read == Read::End ? Read::Failed : read;
    }
    const std::size_t skipped = std::min(remaining, bytes.size());
    remaining -= skipped;
    rest = bytes.substr(skipped);
  }
  return Read::Bytes;
}

}  // namespace hta
