#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace hta {

// An opaque WinINet handle (session, connection, request or URL stream).
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
                                         const char* version, std::uint32_t flags,
                                         std::uintptr_t context) = 0;

  // InternetSetOptionA with a byte buffer.
  virtual bool SetOption(InternetHandle handle, std::uint32_t option, std::span<const char> value) = 0;

  // HttpSendRequestA. `headers` nullable; no body.
  virtual bool SendRequest(InternetHandle request, const char* headers, std::uint32_t headersLength) = 0;

  // HttpQueryInfoA into `buffer`. On entry `length` is the buffer size in
  // bytes; on success it is the length of the answer (without its NUL); on
  // failure for want of room it is the size needed.
  virtual bool QueryInfo(InternetHandle request, std::uint32_t infoLevel, std::span<char> buffer,
                             std::uint32_t& length, std::uint32_t& index) = 0;

  // InternetOpenUrlA. `headers` nullable.
  virtual InternetHandle OpenUrl(InternetHandle session, const char* url, const char* headers,
                                         std::uint32_t headersLength, std::uint32_t flags,
                                         std::uintptr_t context) = 0;

  // InternetReadFile: up to buffer.size() bytes; `bytesRead` 0 with true
  // means the end of the body.
  virtual bool ReadFile(InternetHandle stream, std::span<std::byte> buffer,
                                std::uint32_t& bytesRead) = 0;

  // InternetSetFilePointer with no high part; returns the new position, or
  // -1 on failure.
  virtual std::int32_t SetFilePointer(InternetHandle stream, std::int32_t distance,
                                              std::uint32_t moveMethod) = 0;

  // InternetCloseHandle. A null handle is accepted and reported as failure.
  virtual bool CloseHandle(InternetHandle handle) = 0;
};

}  // namespace hta
