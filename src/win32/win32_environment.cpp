#include "win32/win32_environment.h"

#include "win32/wide_text.h"
#include "win32/win32_headers.h"

namespace hta::win32 {
namespace {

// The longest path Windows knows, in UTF-16 units.
constexpr DWORD kLongestPath = 32768;

// The full path of the running executable. A path can exceed MAX_PATH when
// long paths are enabled, so the buffer grows until the name fits.
std::wstring ModulePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      return {};
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    // Truncated (the call fills the whole buffer): try again larger, up to
    // the longest path Windows knows.
    if (buffer.size() >= kLongestPath) {
      return {};
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Byte offset of the last backslash, or npos. In UTF-8 the byte 0x5C is
// never part of another character, so a plain search finds only separators.
std::size_t LastBackslash(const std::string& path) {
  return path.rfind('\\');
}

}  // namespace

std::string FolderOfPath(const std::string& path) {
  std::size_t slash = LastBackslash(path);
  if (slash == std::string::npos) {
    return {};
  }
  // "C:\Launcher.exe" lies in "C:\", a drive's root keeps its backslash;
  // "C:\Apps\Launcher.exe" lies in "C:\Apps".
  if (slash == 2 && path[1] == ':') {
    return path.substr(0, 3);
  }
  return path.substr(0, slash);
}

std::string NameWithoutExtension(const std::string& path) {
  std::size_t slash = LastBackslash(path);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string OwnExecutablePath() {
  return Utf8FromWide(ModulePath());
}

std::string Win32Environment::ExeFolder() {
  return FolderOfPath(OwnExecutablePath());
}

std::string Win32Environment::ExeName() {
  return NameWithoutExtension(OwnExecutablePath());
}

std::string Win32Environment::TempFolder() {
  // The wide call: the ANSI one spells letters outside the code page as "?",
  // which names a folder that does not exist.
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) {
      return {};
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return Utf8FromWide(buffer);
    }
    // Too small: `length` is the size needed, terminating zero included.
    buffer.assign(length + 1, L'\0');
  }
  return {};
}

}  // namespace hta::win32
