#pragma once

#include "ports/http.h"

namespace hta::win32 {

// HttpCalls on WinINet: each method is the one WinINet call it is named
// after, nothing more. Handles are WinINet's own, passed through as numbers.
class Win32Http final : public HttpCalls {
 public:
  InternetHandle Open(const char* agent, std::uint32_t accessType, const char* proxy, const char* bypass,
                      std::uint32_t flags) override;
  InternetHandle Connect(InternetHandle session, const char* host, std::uint16_t port, const char* user,
                         const char* password, std::uint32_t service, std::uint32_t flags,
                         std::uintptr_t context) override;
  InternetHandle OpenRequest(InternetHandle connection, const char* verb, const char* path,
                             const char* version, std::uint32_t flags, std::uintptr_t context) override;
  bool SetOption(InternetHandle handle, std::uint32_t option, std::span<const char> value) override;
  bool SetNumberOption(InternetHandle handle, std::uint32_t option, std::uint32_t value) override;
  bool SendRequest(InternetHandle request, const char* headers, std::uint32_t headersLength) override;
  bool QueryInfo(InternetHandle request, std::uint32_t infoLevel, std::span<char> buffer,
                 std::uint32_t& length, std::uint32_t& index) override;
  bool QueryDataAvailable(InternetHandle request, std::uint32_t& bytesAvailable) override;
  bool ReadFile(InternetHandle request, std::span<std::byte> buffer, std::uint32_t& bytesRead) override;
  bool QuerySecurityFlags(InternetHandle request, std::uint32_t& flags) override;
  bool CloseHandle(InternetHandle handle) override;
};

}  // namespace hta::win32
