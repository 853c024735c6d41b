#include "transfer/internet_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/control_characters.h"
#include "ports/log.h"
#include "transfer/response_headers.h"

// Sending a request, opening an address for a transfer, and reading its
// body within the limits.
namespace hta {
namespace {

// Every GET wants fresh data: never a cached copy, and nothing left in the
// cache for later. EXISTING_CONNECT reuses the HEAD request's connection.
constexpr std::uint32_t kGetFlags = kInternetFlagExistingConnect | kInternetFlagReload |
                                    kInternetFlagNoCacheWrite | kInternetFlagPragmaNoCache;

}  // namespace

InternetFile::SentRequest InternetFile::Send(const Session& session, const HttpAddress& address,
                                             const char* verb, const char* version, std::uint32_t flags,
                                             const std::string& headers, const char* user,
                                             const char* password) {
  SentRequest sent;
  // Children of a session that is null (none could be opened) or was closed
  // under us cannot be made: they count as failed calls, and none is sent.
  if (!session || !*session) {
    return sent;
  }
  const std::uint32_t secure = address.secure ? kInternetFlagSecure : 0;
  sent.connection =
      OwnedInternetHandle(http_, http_.Connect(session->get(), address.host.c_str(), address.port, user,
                                               password, kInternetServiceHttp, secure, 0));
  if (!sent.connection) {
    return sent;
  }
  // Limits set on the session are ignored by some WinINets; on the
  // connection every one of them counts.
  for (const std::uint32_t option :
       {kInternetOptionConnectTimeout, kInternetOptionSendTimeout, kInternetOptionReceiveTimeout}) {
    http_.SetNumberOption(sent.connection.get(), option, limits_.callMilliseconds);
  }
  const char* path = address.path.empty() ? nullptr : address.path.c_str();
  sent.request = OwnedInternetHandle(
      http_, http_.OpenRequest(sent.connection.get(), verb, path, version, flags | secure, 0));
  if (!sent.request) {
    return sent;
  }
  SetProxyCredentials(sent.request.get());
  DoEvents();
  // Sent once: after a failed CONNECT through a proxy, a second send would
  // go out without its tunnel, in clear text.
  sent.sent = http_.SendRequest(sent.request.get(), headers.empty() ? nullptr : headers.c_str(),
                                static_cast<std::uint32_t>(headers.size()));
  return sent;
}

std::optional<HttpAddress> InternetFile::SendableAddress(const std::string& address) const {
  if (HasControlCharacter(address) || !https_.Allows(address)) {
    return std::nullopt;
  }
  return ParseHttpAddress(address);
}

std::optional<std::uint32_t> InternetFile::QueryNumber(InternetHandle stream, std::uint32_t infoLevel) {
  std::array<char, sizeof(std::uint32_t)> buffer{};
  std::uint32_t length = buffer.size();
  std::uint32_t index = 0;
  if (!http_.QueryInfo(stream, infoLevel | kHttpQueryFlagNumber, buffer, length, index) ||
      length != buffer.size()) {
    return std::nullopt;
  }
  std::uint32_t number = 0;
  std::memcpy(&number, buffer.data(), sizeof number);
  return number;
}

std::optional<std::string> InternetFile::ContentRange(InternetHandle stream) {
  std::array<char, kHeaderBufferSize> buffer{};
  std::uint32_t length = buffer.size();
  std::uint32_t index = 0;
  if (!http_.QueryInfo(stream, kHttpQueryContentRange, buffer, length, index)) {
    return std::nullopt;
  }
  return TrimAtNul(std::string_view(buffer.data(), std::min<std::size_t>(length, buffer.size())));
}

std::string InternetFile::RawHeaders(InternetHandle stream) {
  std::string buffer(64 * 1024, '\0');
  std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
  std::uint32_t index = 0;
  if (!http_.QueryInfo(stream, kHttpQueryRawHeadersCrlf, buffer, length, index)) {
    return std::string();
  }
  return TrimAtNul(std::string_view(buffer.data(), std::min<std::size_t>(length, buffer.size())));
}

InternetFile::OpenedAddress InternetFile::OpenAddress(const Session& session, const std::string& address,
                                                      std::int32_t rangeFrom) {
  OpenedAddress opened;
  // Nothing is sent to an address that may not have a request: it counts
  // as unopenable.
  const std::optional<HttpAddress> parsed = SendableAddress(address);
  if (!parsed) {
    LogInfo("Transfer failed: " + LogAddress(address) +
            (https_.Allows(address) ? ": not opened" : ": HTTPS required"));
    return opened;
  }
  const std::string headers =
      (rangeFrom > 0 ? "Range: bytes=" + std::to_string(rangeFrom) + "-\r\n" : "") + requestHeaders_;
  SentRequest sent = Send(session, *parsed, "GET", nullptr, kGetFlags, headers, nullptr, nullptr);
  if (!sent.sent) {
    LogInfo("Transfer failed: " + LogAddress(address) + ": no response");
    sent.Close();
    return opened;
  }
  // Where HTTPS is required, a response that did not come over TLS (a
  // redirect away from https) counts as no response.
  if (!https_.Accepts(http_, sent.request.get())) {
    LogInfo("Transfer failed: " + LogAddress(address) + ": HTTPS required");
    sent.Close();
    return opened;
  }
  opened.connection = std::move(sent.connection);
  opened.stream = std::move(sent.request);
  opened.markMicroseconds = clock_.MonotonicMicroseconds();
  opened.status = QueryNumber(opened.stream.get(), kHttpQueryStatusCode);
  responseStatus_ = opened.status;
  responseHeaders_ = RawHeaders(opened.stream.get());
  if (opened.status && *opened.status >= kHttpFirstFailure) {
    // A resumed file that is already whole asks for a range past the end,
    // which the server refuses, naming the resource's size.
    if (*opened.status == kHttpRangeNotSatisfiable && rangeFrom > 0) {
      const auto range = ContentRange(opened.stream.get());
      const auto parsedRange = range ? ParseContentRange(*range) : std::nullopt;
      if (parsedRange && !parsedRange->first && parsedRange->size == rangeFrom) {
        opened.nothingLeft = true;
        return opened;
      }
    }
    // An error page is not the resource: the address counts as unopenable,
    // so the session stays open, as after any failed open.
    LogInfo("Transfer failed: " + LogAddress(address) + ": HTTP " + std::to_string(*opened.status));
    opened.Close();
    return opened;
  }
  opened.contentLength = QueryNumber(opened.stream.get(), kHttpQueryContentLength);
  return opened;
}

bool InternetFile::ReadArrived(OpenedAddress& opened, std::span<std::byte> buffer, std::uint32_t& bytesRead) {
  bytesRead = 0;
  // A read of a whole block would wait for all of it: on a slow link the
  // window would freeze that long. Only what is there is taken.
  std::uint32_t available = 0;
  if (!http_.QueryDataAvailable(opened.stream.get(), available)) {
    return false;
  }
  if (available == 0) {
    return true;
  }
  const std::size_t want = std::min<std::size_t>(available, buffer.size());
  if (!http_.ReadFile(opened.stream.get(), buffer.first(want), bytesRead) || bytesRead > want) {
    return false;
  }
  opened.sinceMark += bytesRead;
  const std::uint64_t now = clock_.MonotonicMicroseconds();
  if (opened.sinceMark >= limits_.leastBytes) {
    opened.markMicroseconds = now;
    opened.sinceMark = 0;
  } else if (bytesRead > 0 && now - opened.markMicroseconds > limits_.slowWindowMicroseconds) {
    // A trickle just fast enough for the per-call limits would otherwise
    // hold the transfer, and everything waiting for it, for ever.
    LogInfo("Time limit hit: " + LogAddress(url_) + ": link too slow");
    return false;
  }
  return true;
}

bool InternetFile::SkipBytes(OpenedAddress& opened, std::int32_t count) {
  std::array<std::byte, kBlockSize> buffer;
  auto remaining = static_cast<std::size_t>(count);
  bool first = true;
  while (remaining > 0) {
    // The skipped bytes come over the network like any others: the window
    // keeps running between their blocks.
    if (!first) {
      DoEvents();
    }
    first = false;
    std::uint32_t bytesRead = 0;
    const std::size_t want = std::min(remaining, buffer.size());
    if (!ReadArrived(opened, std::span(buffer.data(), want), bytesRead) || bytesRead == 0) {
      return false;
    }
    remaining -= bytesRead;
  }
  return true;
}

}  // namespace hta
