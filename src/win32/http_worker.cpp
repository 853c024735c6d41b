#include "win32/http_worker.h"

#include <algorithm>
#include <optional>
#include <string>

#include "transfer/internet_file.h"
#include "transfer/read_pace.h"
#include "win32/handles.h"
#include "win32/win32_clock.h"
#include "win32/win32_headers.h"

// After windows.h, whose types it needs.
#include <wininet.h>

// The only code of the program that calls WinINet. It runs on a transfer's
// worker thread and must touch nothing but its request and its queue: the
// GUI thread may have given up on it long ago, and the process may be
// ending around it.
namespace hta::win32 {
namespace {

struct CloseInternet {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using OwnedInternet = Owned<HINTERNET, CloseInternet>;

// Every GET wants fresh data: never a cached copy, nothing left in the cache
// for later, and no proxy's copy either.
constexpr DWORD kGetFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr DWORD kHeadFlags = INTERNET_FLAG_RELOAD;
// The longest header block kept of a response.
constexpr DWORD kLongestHeaders = 64 * 1024;

std::string Failure(const char* step) {
  return std::string(step) + " failed (error " + std::to_string(GetLastError()) + ")";
}

DWORD AccessType(HttpAccess access) {
  switch (access) {
    case HttpAccess::Proxy:
      return INTERNET_OPEN_TYPE_PROXY;
    case HttpAccess::Direct:
      return INTERNET_OPEN_TYPE_DIRECT;
    case HttpAccess::Preconfigured:
      break;
  }
  return INTERNET_OPEN_TYPE_PRECONFIG;
}

const char* NullWhenEmpty(const std::string& text) {
  return text.empty() ? nullptr : text.c_str();
}

void SetTextOption(HINTERNET handle, DWORD option, const std::string& value) {
  if (value.empty()) {
    return;
  }
  // WinINet wants the value with its terminating NUL, counted; the buffer
  // is only read, whatever the prototype says.
  InternetSetOptionA(handle, option, const_cast<char*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
}

std::optional<std::uint32_t> QueryNumber(HINTERNET request, DWORD level) {
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD index = 0;
  if (!HttpQueryInfoA(request, level | HTTP_QUERY_FLAG_NUMBER, &value, &size, &index) ||
      size != sizeof value) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::string> QueryText(HINTERNET request, DWORD level) {
  std::string buffer(1024, '\0');
  DWORD size = static_cast<DWORD>(buffer.size());
  DWORD index = 0;
  if (!HttpQueryInfoA(request, level, buffer.data(), &size, &index)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > kLongestHeaders) {
      return std::nullopt;
    }
    buffer.assign(size + 1, '\0');
    size = static_cast<DWORD>(buffer.size());
    index = 0;
    if (!HttpQueryInfoA(request, level, buffer.data(), &size, &index)) {
      return std::nullopt;
    }
  }
  buffer.resize(std::min<std::size_t>(size, buffer.size()));
  return buffer;
}

bool CameOverTls(HINTERNET request) {
  DWORD flags = 0;
  DWORD size = sizeof flags;
  return InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size) != FALSE &&
         size == sizeof flags && (flags & SECURITY_FLAG_SECURE) != 0;
}

HttpResponse ReadResponse(HINTERNET request) {
  HttpResponse response;
  response.status = QueryNumber(request, HTTP_QUERY_STATUS_CODE);
  response.contentLength = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH);
  response.contentRange = QueryText(request, HTTP_QUERY_CONTENT_RANGE);
  response.rawHeaders = QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF).value_or(std::string());
  response.secure = CameOverTls(request);
  return response;
}

void ReadBody(HINTERNET request, ExchangeQueue& queue) {
  Win32Clock clock;  // stateless: safe on any thread
  std::uint64_t bytesSoFar = 0;
  std::optional<std::uint64_t> began;
  for (;;) {
    // Waits for the first bytes not yet read; 0 at the end of the body.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
      queue.PushFailed(Failure("InternetQueryDataAvailable"));
      return;
    }
    if (available == 0) {
      queue.PushEnd();
      return;
    }
    const std::uint64_t now = clock.MonotonicMicroseconds();
    began = began.value_or(now);
    const DWORD want = PacedReadSize(available, bytesSoFar, now - *began);
    // Read into a block of its own, which the queue takes over.
    std::string block(want, '\0');
    DWORD read = 0;
    if (!InternetReadFile(request, block.data(), want, &read) || read > want) {
      queue.PushFailed(Failure("InternetReadFile"));
      return;
    }
    if (read == 0) {
      queue.PushEnd();
      return;
    }
    bytesSoFar += read;
    block.resize(read);
    if (!queue.PushBody(std::move(block))) {
      return;
    }
  }
}

}  // namespace

void RunHttpRequest(const HttpRequest& request, ExchangeQueue& queue) {
  const std::string agent(kInternetFileUserAgent);
  const bool viaProxy = request.access == HttpAccess::Proxy;
  const OwnedInternet session(InternetOpenA(agent.c_str(), AccessType(request.access),
                                            viaProxy ? request.proxy.c_str() : nullptr, nullptr, 0));
  if (!session) {
    queue.PushFailed(Failure("InternetOpen"));
    return;
  }
  const bool withUser = !request.siteUser.empty();
  const OwnedInternet connection(InternetConnectA(
      session.get(), request.host.c_str(), request.port, withUser ? request.siteUser.c_str() : nullptr,
      withUser ? request.sitePassword.c_str() : nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) {
    queue.PushFailed(Failure("InternetConnect"));
    return;
  }
  // Limits set on the session are ignored by some WinINets; on the
  // connection every one of them counts.
  for (const DWORD option :
       {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    DWORD milliseconds = request.callMilliseconds;
    InternetSetOptionA(connection.get(), option, &milliseconds, sizeof milliseconds);
  }
  const bool head = request.method == "HEAD";
  const DWORD flags = (head ? kHeadFlags : kGetFlags) | (request.secure ? INTERNET_FLAG_SECURE : 0);
  const OwnedInternet handle(HttpOpenRequestA(connection.get(), request.method.c_str(),
                                              NullWhenEmpty(request.path), NullWhenEmpty(request.version),
                                              nullptr, nullptr, flags, 0));
  if (!handle) {
    queue.PushFailed(Failure("HttpOpenRequest"));
    return;
  }
  // On the request, before its one send: WinINet then answers the proxy's
  // demand for them itself (on the session they are refused).
  SetTextOption(handle.get(), INTERNET_OPTION_PROXY_USERNAME, request.proxyUser);
  SetTextOption(handle.get(), INTERNET_OPTION_PROXY_PASSWORD, request.proxyPassword);
  if (queue.Abandoned()) {
    return;
  }
  // Sent once: after a failed CONNECT through a proxy, a second send would
  // go out without its tunnel, in clear text.
  if (!HttpSendRequestA(handle.get(), NullWhenEmpty(request.headers),
                        static_cast<DWORD>(request.headers.size()), nullptr, 0)) {
    queue.PushFailed(Failure("HttpSendRequest"));
    return;
  }
  if (!queue.PushResponse(ReadResponse(handle.get()))) {
    return;
  }
  if (head) {
    queue.PushEnd();
    return;
  }
  ReadBody(handle.get(), queue);
}

}  // namespace hta::win32
