#include "win32/wide_text.h"

#include <algorithm>
#include <climits>

#include "win32/win32_headers.h"

namespace hta::win32 {
namespace {

// Texts longer than an int can count are not paths or protocol texts; they
// are cut rather than passed to calls that would misread their length.
int CountOf(std::size_t size) {
  return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) {
    return {};
  }
  const int length = MultiByteToWideChar(codePage, 0, text.data(), CountOf(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
  if (length > 0) {
    MultiByteToWideChar(codePage, 0, text.data(), CountOf(text.size()), wide.data(), length);
  }
  return wide;
}

std::string FromWide(UINT codePage, std::wstring_view text) {
  if (text.empty()) {
    return {};
  }
  const int length =
      WideCharToMultiByte(codePage, 0, text.data(), CountOf(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(std::max(length, 0)), '\0');
  if (length > 0) {
    WideCharToMultiByte(codePage, 0, text.data(), CountOf(text.size()), bytes.data(), length, nullptr,
                        nullptr);
  }
  return bytes;
}

bool IsDriveLetterPath(std::wstring_view path) {
  return path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

bool IsSharePath(std::wstring_view path) {
  return path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.';
}

}  // namespace

std::wstring WideFromUtf8(std::string_view text) {
  return ToWide(CP_UTF8, text);
}

std::string Utf8FromWide(std::wstring_view text) {
  return FromWide(CP_UTF8, text);
}

std::wstring WideFromAnsi(std::string_view text) {
  return ToWide(CP_ACP, text);
}

std::string AnsiFromWide(std::wstring_view text) {
  return FromWide(CP_ACP, text);
}

std::wstring FileCallPath(std::string_view path) {
  std::wstring wide = WideFromUtf8(path);
  if (wide.size() < kShortPathLimit) {
    return wide;
  }
  // Behind the prefix Windows takes every character literally: no "/" is
  // read as a separator any more, so none may stay.
  if (IsDriveLetterPath(wide)) {
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return L"\\\\?\\" + wide;
  }
  if (IsSharePath(wide)) {
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return L"\\\\?\\UNC\\" + wide.substr(2);
  }
  return wide;
}

}  // namespace hta::win32
