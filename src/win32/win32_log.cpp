#include "win32/win32_log.h"

#include <shlobj.h>

#include <array>
#include <cstdio>
#include <utility>

#include "win32/wide_text.h"

namespace hta::win32 {
namespace {

constexpr std::string_view kLogName = "launcher.log";
constexpr std::string_view kOlderSuffix = ".1";

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Error:
      return "ERROR";
    case LogLevel::Info:
      return "INFO ";
    case LogLevel::Debug:
      return "DEBUG";
  }
  return "?    ";
}

// "2026-12-07 13:25:01.123 INFO  ": the local time, as the user's clock
// showed it when they noticed the trouble.
std::string LinePrefix(LogLevel level) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%04u-%02u-%02u %02u:%02u:%02u.%03u %s ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, LevelName(level));
  return text.data();
}

// Makes `folder` and its parents; true when it is there afterwards.
bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('\\', 3); slash != std::string::npos;
       slash = folder.find('\\', slash + 1)) {
    CreateDirectoryW(FileCallPath(folder.substr(0, slash)).c_str(), nullptr);
  }
  CreateDirectoryW(FileCallPath(folder).c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(FileCallPath(folder).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Appends only, and lets a second copy of the program (which logs its
// start and end) and a reader in at the same time.
HANDLE OpenForAppending(const std::string& path) {
  return CreateFileW(FileCallPath(path).c_str(), FILE_APPEND_DATA,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The local application data folder, from the environment as the user's
// session has it, else from the shell.
std::wstring LocalAppData() {
  std::wstring buffer(32768, L'\0');
  const DWORD length =
      GetEnvironmentVariableW(L"LOCALAPPDATA", buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length > 0 && length < buffer.size()) {
    buffer.resize(length);
    return buffer;
  }
  buffer.assign(MAX_PATH, L'\0');
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, buffer.data()))) {
    buffer.resize(buffer.find(L'\0'));
    return buffer;
  }
  return {};
}

}  // namespace

Win32FileLog::Win32FileLog(std::string folder)
    : folder_(std::move(folder)), path_(folder_ + "\\" + std::string(kLogName)) {}

std::string Win32FileLog::DefaultFolder() {
  const std::string base = Utf8FromWide(LocalAppData());
  return base.empty() ? std::string() : base + "\\HTA Launcher\\Logs";
}

bool Win32FileLog::Open() {
  if (failed_ || file_) {
    return !failed_;
  }
  file_.reset(OpenForAppending(path_));
  if (!file_ && (folder_.empty() || !MakeFolders(folder_))) {
    failed_ = true;
    return false;
  }
  if (!file_) {
    file_.reset(OpenForAppending(path_));
  }
  LARGE_INTEGER size{};
  if (!file_ || !GetFileSizeEx(file_.get(), &size)) {
    failed_ = true;
    return false;
  }
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

void Win32FileLog::Rotate() {
  file_.reset();
  const std::string older = path_ + std::string(kOlderSuffix);
  const bool moved = MoveFileExW(FileCallPath(path_).c_str(), FileCallPath(older).c_str(),
                                 MOVEFILE_REPLACE_EXISTING) != FALSE;
  if (Open() && !moved) {
    // Kept on in the one file rather than trying again at every line.
    size_ = 0;
  }
}

void Win32FileLog::Write(LogLevel level, std::string_view text) {
  if (!Open()) {
    return;
  }
  const std::string line = LinePrefix(level) + std::string(text) + "\r\n";
  if (size_ > 0 && size_ + line.size() > kRotateBytes) {
    Rotate();
    if (!file_) {
      return;
    }
  }
  DWORD written = 0;
  if (!WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
    failed_ = true;
    file_.reset();
    return;
  }
  size_ += written;
}

}  // namespace hta::win32
