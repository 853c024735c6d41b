#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/file_system.h"

namespace hta::win32 {

// The file port over the wide calls: CreateFileW, ReadFile, WriteFile,
// GetFileAttributesExW, GetFileAttributesW, CreateDirectoryW, MoveFileExW,
// DeleteFileW and FindFirstFileExW, with long paths behind the "\\?\"
// prefix (FileCallPath).
class Win32FileSystem final : public FileSystem {
 public:
  std::string PathFromAnsi(std::string_view text) override;
  FileFailure LastFailure() override;
  std::optional<std::string> ReadAll(const std::string& path) override;
  std::unique_ptr<FileWriter> OpenForWrite(const std::string& path, bool truncate) override;
  std::optional<std::int64_t> FileLength(const std::string& path) override;
  std::optional<std::uint64_t> LastWriteTime(const std::string& path) override;
  FileState StateOf(const std::string& path) override;
  bool FolderExists(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  bool MoveFileReplacing(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;
  std::vector<std::string> FileNamesIn(const std::string& folder) override;
};

}  // namespace hta::win32
