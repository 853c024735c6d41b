#include "win32/win32_environment.h"

#include "win32/win32_headers.h"

namespace hta::win32 {
namespace {

// The full path of the running executable. A path can exceed MAX_PATH when
// long paths are enabled, so the buffer grows until the name fits.
std::string ModulePath() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      return {};
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    // Truncated (the call fills the whole buffer): try again larger, up to
    // the longest path Windows knows.
    if (buffer.size() >= 32768) {
      return {};
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Byte offset of the last backslash, or npos; see the header for why this
// walks characters instead of bytes.
std::size_t LastBackslash(const std::string& path) {
  std::size_t last = std::string::npos;
  const char* begin = path.c_str();
  for (const char* p = begin; *p != '\0'; p = CharNextA(p)) {
    if (*p == '\\') {
      last = static_cast<std::size_t>(p - begin);
    }
  }
  return last;
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
  std::size_t dot = std::string::npos;
  const char* begin = name.c_str();
  for (const char* p = begin; *p != '\0'; p = CharNextA(p)) {
    if (*p == '.') {
      dot = static_cast<std::size_t>(p - begin);
    }
  }
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string Win32Environment::ExeFolder() {
  return FolderOfPath(ModulePath());
}

std::string Win32Environment::ExeName() {
  return NameWithoutExtension(ModulePath());
}

std::string Win32Environment::TempFolder() {
  std::string buffer(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) {
      return {};
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    // Too small: `length` is the size needed, terminating zero included.
    buffer.assign(length + 1, '\0');
  }
  return {};
}

}  // namespace hta::win32
