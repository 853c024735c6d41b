#include "win32/win32_http.h"

#include "win32/win32_headers.h"

// After windows.h, whose types it needs.
#include <wininet.h>

namespace hta::win32 {
namespace {

HINTERNET Raw(InternetHandle handle) {
  return reinterpret_cast<HINTERNET>(handle.value);
}
InternetHandle Wrap(HINTERNET handle) {
  return InternetHandle{reinterpret_cast<std::uintptr_t>(handle)};
}

}  // namespace

InternetHandle Win32Http::Open(const char* agent, std::uint32_t accessType, const char* proxy,
                               const char* bypass, std::uint32_t flags) {
  return Wrap(::InternetOpenA(agent, accessType, proxy, bypass, flags));
}

InternetHandle Win32Http::Connect(InternetHandle session, const char* host, std::uint16_t port,
                                  const char* user, const char* password, std::uint32_t service,
                                  std::uint32_t flags, std::uintptr_t context) {
  return Wrap(::InternetConnectA(Raw(session), host, port, user, password, service, flags, context));
}

InternetHandle Win32Http::OpenRequest(InternetHandle connection, const char* verb, const char* path,
                                      const char* version, std::uint32_t flags, std::uintptr_t context) {
  return Wrap(::HttpOpenRequestA(Raw(connection), verb, path, version, nullptr, nullptr, flags, context));
}

bool Win32Http::SetOption(InternetHandle handle, std::uint32_t option, std::span<const char> value) {
  // The option buffer is only read; WinINet's prototype lacks the const.
  return ::InternetSetOptionA(Raw(handle), option, const_cast<char*>(value.data()),
                              static_cast<DWORD>(value.size())) != FALSE;
}

bool Win32Http::SetNumberOption(InternetHandle handle, std::uint32_t option, std::uint32_t value) {
  DWORD number = value;
  return ::InternetSetOptionA(Raw(handle), option, &number, sizeof number) != FALSE;
}

bool Win32Http::SendRequest(InternetHandle request, const char* headers, std::uint32_t headersLength) {
  return ::HttpSendRequestA(Raw(request), headers, headersLength, nullptr, 0) != FALSE;
}

bool Win32Http::QueryInfo(InternetHandle request, std::uint32_t infoLevel, std::span<char> buffer,
                          std::uint32_t& length, std::uint32_t& index) {
  DWORD size = length;
  DWORD at = index;
  const BOOL ok = ::HttpQueryInfoA(Raw(request), infoLevel, buffer.data(), &size, &at);
  length = size;
  index = at;
  return ok != FALSE;
}

bool Win32Http::QueryDataAvailable(InternetHandle request, std::uint32_t& bytesAvailable) {
  DWORD available = 0;
  const BOOL ok = ::InternetQueryDataAvailable(Raw(request), &available, 0, 0);
  bytesAvailable = available;
  return ok != FALSE;
}

bool Win32Http::ReadFile(InternetHandle request, std::span<std::byte> buffer, std::uint32_t& bytesRead) {
  DWORD read = 0;
  const BOOL ok = ::InternetReadFile(Raw(request), buffer.data(), static_cast<DWORD>(buffer.size()), &read);
  bytesRead = read;
  return ok != FALSE;
}

static_assert(kInternetOptionSecurityFlags == INTERNET_OPTION_SECURITY_FLAGS);
static_assert(kSecurityFlagSecure == SECURITY_FLAG_SECURE);

bool Win32Http::QuerySecurityFlags(InternetHandle request, std::uint32_t& flags) {
  DWORD value = 0;
  DWORD size = sizeof value;
  const BOOL ok = ::InternetQueryOptionA(Raw(request), INTERNET_OPTION_SECURITY_FLAGS, &value, &size);
  flags = value;
  return ok != FALSE && size == sizeof value;
}

bool Win32Http::CloseHandle(InternetHandle handle) {
  return ::InternetCloseHandle(Raw(handle)) != FALSE;
}

}  // namespace hta::win32
