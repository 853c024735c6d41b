#include "win32/win32_profile.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "win32/wide_text.h"
#include "win32/win32_headers.h"

namespace hta::win32 {
namespace {

// A NUL-terminated ANSI text as the wide call takes it; null stays null.
class WideArgument {
 public:
  explicit WideArgument(const char* text) : null_(text == nullptr), wide_(null_ ? L"" : WideFromAnsi(text)) {}
  const wchar_t* get() const { return null_ ? nullptr : wide_.c_str(); }

 private:
  bool null_;
  std::wstring wide_;
};

// Copies the ANSI form of what the wide call copied into `buffer`, cut to
// `room` bytes, followed by NULs up to the buffer's end or two, whichever
// comes first; the number of bytes copied.
std::size_t CopyOut(std::wstring_view copied, std::span<char> buffer, std::size_t room) {
  const std::string ansi = AnsiFromWide(copied);
  const std::size_t count = std::min(ansi.size(), room);
  std::copy_n(ansi.data(), count, buffer.data());
  std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(count),
            buffer.begin() + static_cast<std::ptrdiff_t>(std::min(count + 2, buffer.size())), '\0');
  return count;
}

}  // namespace

std::size_t Win32Profile::ProfileRead(const char* section, const char* key, const char* defaultValue,
                                      std::span<char> buffer, const char* fileName) {
  if (buffer.size() < 2) {
    return 0;
  }
  // The call takes a 32-bit size; a larger buffer is simply used in part.
  const auto size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), UINT32_MAX));
  std::wstring wide(size, L'\0');
  const DWORD copied = GetPrivateProfileStringW(WideArgument(section).get(), WideArgument(key).get(),
                                                WideArgument(defaultValue).get(), wide.data(), size,
                                                WideFromUtf8(fileName).c_str());
  const std::wstring_view value(wide.data(), std::min<std::size_t>(copied, size));
  // A key list cut by the buffer reports size - 2; a value is cut to one
  // character less than the buffer, as the call itself cuts it.
  const bool cutList = key == nullptr && copied == size - 2;
  const std::size_t room = key == nullptr ? size - 2 : size - 1;
  const std::size_t count = CopyOut(value, buffer.first(size), room);
  return cutList ? room : count;
}

bool Win32Profile::ProfileWrite(const char* section, const char* key, const char* value,
                                const char* fileName) {
  return WritePrivateProfileStringW(WideArgument(section).get(), WideArgument(key).get(),
                                    WideArgument(value).get(), WideFromUtf8(fileName).c_str()) != FALSE;
}

}  // namespace hta::win32
