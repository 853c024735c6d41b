#pragma once

#include <string>
#include <string_view>

namespace hta::win32 {

// The two encodings the core hands the Win32 side, and the UTF-16 the wide
// calls take. Inside the core a path is UTF-8, so a folder named in any
// script (the user's profile, a program folder) survives; texts exchanged
// with the server, the registry's data and the INI file's values stay bytes
// of the ANSI code page. None of these fails: a byte sequence that is no
// character becomes U+FFFD going to UTF-16, and a character the ANSI code
// page lacks becomes "?" going to ANSI.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromAnsi(std::string_view text);
std::string AnsiFromWide(std::wstring_view text);

// A core path (UTF-8) as the wide file calls take it. A full path of
// kShortPathLimit characters or more gets the "\\?\" prefix ("\\?\UNC\" for
// a share), so the calls neither refuse it nor cut it: the limit is that of
// CreateDirectoryW, the lowest of the calls used. Shorter and relative paths
// are passed as they are.
inline constexpr std::size_t kShortPathLimit = 248;
std::wstring FileCallPath(std::string_view path);

}  // namespace hta::win32
