#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace hta {

// WinINet values the core passes and tests for.
inline constexpr std::uint32_t kInternetOpenTypePreconfig = 0;             // INTERNET_OPEN_TYPE_PRECONFIG
inline constexpr std::uint32_t kInternetOpenTypeDirect = 1;                // INTERNET_OPEN_TYPE_DIRECT
inline constexpr std::uint32_t kInternetOpenTypeProxy = 3;                 // INTERNET_OPEN_TYPE_PROXY
inline constexpr std::uint32_t kInternetServiceHttp = 3;                   // INTERNET_SERVICE_HTTP
inline constexpr std::uint32_t kInternetFlagReload = 0x80000000;           // INTERNET_FLAG_RELOAD
inline constexpr std::uint32_t kInternetFlagExistingConnect = 0x20000000;  // INTERNET_FLAG_EXISTING_CONNECT
inline constexpr std::uint32_t kInternetFlagNoCacheWrite = 0x04000000;     // INTERNET_FLAG_NO_CACHE_WRITE
inline constexpr std::uint32_t kInternetFlagPragmaNoCache = 0x00000100;    // INTERNET_FLAG_PRAGMA_NOCACHE
inline constexpr std::uint32_t kInternetFlagSecure = 0x00800000;           // INTERNET_FLAG_SECURE
inline constexpr std::uint32_t kInternetOptionConnectTimeout = 2;          // INTERNET_OPTION_CONNECT_TIMEOUT
inline constexpr std::uint32_t kInternetOptionSendTimeout = 5;             // INTERNET_OPTION_SEND_TIMEOUT
inline constexpr std::uint32_t kInternetOptionReceiveTimeout = 6;          // INTERNET_OPTION_RECEIVE_TIMEOUT
inline constexpr std::uint32_t kInternetOptionProxyUsername = 43;          // INTERNET_OPTION_PROXY_USERNAME
inline constexpr std::uint32_t kInternetOptionProxyPassword = 44;          // INTERNET_OPTION_PROXY_PASSWORD
inline constexpr std::uint32_t kInternetOptionSecurityFlags = 31;          // INTERNET_OPTION_SECURITY_FLAGS
inline constexpr std::uint32_t kSecurityFlagSecure = 0x00000001;           // SECURITY_FLAG_SECURE
inline constexpr std::uint32_t kHttpQueryContentLength = 5;                // HTTP_QUERY_CONTENT_LENGTH
inline constexpr std::uint32_t kHttpQueryStatusCode = 19;                  // HTTP_QUERY_STATUS_CODE
inline constexpr std::uint32_t kHttpQueryRawHeadersCrlf = 22;              // HTTP_QUERY_RAW_HEADERS_CRLF
inline constexpr std::uint32_t kHttpQueryContentRange = 53;                // HTTP_QUERY_CONTENT_RANGE
inline constexpr std::uint32_t kHttpQueryFlagNumber = 0x20000000;          // HTTP_QUERY_FLAG_NUMBER

// An opaque WinINet handle (session, connection or request).
// Zero is the null handle. The core owns every non-null handle it receives
// and closes it with InternetCloseHandle, exactly once.
struct InternetHandle {
  std::uintptr_t value = 0;
  explicit operator bool() const { return value != 0; }
  friend bool operator==(InternetHandle, InternetHandle) = default;
};

// The WinINet calls of the transfer control, in their own shape: same
// arguments, same order, same failure reporting (a null handle or false).
// Each method is named after its call without the "Internet"/"Http" prefix
// and "A" suffix (windows.h defines most of those names as macros).
// Texts are NUL-terminated ANSI strings; a `const char*` documented as
// nullable may be null, every other one never is.
//
// The calls block until WinINet answers; they never run the message loop and
// never re-enter the core. The core yields between calls.
class HttpCalls {
 public:
  virtual ~HttpCalls() = default;

  // InternetOpenA. `proxy` and `bypass` nullable.
  virtual InternetHandle Open(const char* agent, std::uint32_t accessType, const char* proxy,
                              const char* bypass, std::uint32_t flags) = 0;

  // InternetConnectA. `user` and `password` nullable.
  virtual InternetHandle Connect(InternetHandle session, const char* host, std::uint16_t port,
                                 const char* user, const char* password, std::uint32_t service,
                                 std::uint32_t flags, std::uintptr_t context) = 0;

  // HttpOpenRequestA with no referrer and no accept types. `path` nullable
  // (null requests the root).
  virtual InternetHandle OpenRequest(InternetHandle connection, const char* verb, const char* path,
                                     const char* version, std::uint32_t flags, std::uintptr_t context) = 0;

  // InternetSetOptionA with a byte buffer.
  virtual bool SetOption(InternetHandle handle, std::uint32_t option, std::span<const char> value) = 0;

  // InternetSetOptionA with a DWORD value (time limits, in milliseconds).
  virtual bool SetNumberOption(InternetHandle handle, std::uint32_t option, std::uint32_t value) = 0;

  // HttpSendRequestA. `headers` nullable; no body.
  virtual bool SendRequest(InternetHandle request, const char* headers, std::uint32_t headersLength) = 0;

  // HttpQueryInfoA into `buffer`, on a sent request. On entry `length` is the buffer size in bytes; on
  // success it is the length of the answer (without its NUL); on failure for
  // want of room it is the size needed. A header the response lacks fails.
  // Text answers are NUL-terminated. With kHttpQueryFlagNumber in
  // `infoLevel` the answer is the value as a 32-bit unsigned number in the
  // platform's byte order, in the first 4 bytes of `buffer`, and `length` is
  // 4; a value that is not a number fails.
  virtual bool QueryInfo(InternetHandle request, std::uint32_t infoLevel, std::span<char> buffer,
                         std::uint32_t& length, std::uint32_t& index) = 0;

  // InternetQueryDataAvailable: the bytes of the body that have arrived
  // and can be read without waiting. Waits (up to the connection's receive
  // time limit) only while none has; 0 with true means the end of the body.
  virtual bool QueryDataAvailable(InternetHandle request, std::uint32_t& bytesAvailable) = 0;

  // InternetReadFile: up to buffer.size() bytes (it waits for all of them
  // or the end of the body); `bytesRead` 0 with true means the end.
  virtual bool ReadFile(InternetHandle request, std::span<std::byte> buffer, std::uint32_t& bytesRead) = 0;

  // InternetQueryOptionA with INTERNET_OPTION_SECURITY_FLAGS on a request
  // or URL stream whose request has been sent: the flags of the connection
  // its response came over (kSecurityFlagSecure when that was TLS). False
  // when the query fails.
  virtual bool QuerySecurityFlags(InternetHandle request, std::uint32_t& flags) = 0;

  // InternetCloseHandle. A null handle is accepted and reported as failure.
  virtual bool CloseHandle(InternetHandle handle) = 0;
};

}  // namespace hta
