#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ports/log.h"
#include "win32/unique_handle.h"
#include "win32/win32_headers.h"

namespace hta::win32 {

// The log file: "<folder>\launcher.log", one line per event
// ("2026-12-07 13:25:01.123 INFO  what"), in UTF-8 as the lines come. When
// a line would take it past kRotateBytes it becomes "launcher.log.1"
// (replacing the older one) and a new file starts, so the two never hold
// much more than twice that.
// The file is opened once; when the folder or the file cannot be made, or a
// write fails, the log falls silent for the rest of the run: nothing about a
// log may stop or slow the launcher.
class Win32FileLog final : public Log {
 public:
  static constexpr std::uint64_t kRotateBytes = 1024 * 1024;

  explicit Win32FileLog(std::string folder);
  void Write(LogLevel level, std::string_view text) override;

  // %LOCALAPPDATA%\HTA Launcher\Logs (UTF-8, as every path); empty when
  // the system names no such folder.
  static std::string DefaultFolder();

 private:
  bool Open();
  void Rotate();

  std::string folder_;
  std::string path_;
  UniqueHandle file_;
  std::uint64_t size_ = 0;
  bool failed_ = false;
};

}  // namespace hta::win32
