#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ports/file_system.h"

namespace hta::win32 {

// The file port over CreateFileA, ReadFile, WriteFile, GetFileAttributesExA,
// GetFileAttributesA, CreateDirectoryA, MoveFileExA and DeleteFileA.
class Win32FileSystem final : public FileSystem {
 public:
  std::optional<std::string> ReadAll(const std::string& path) override;
  std::unique_ptr<FileWriter> OpenForWrite(const std::string& path, bool truncate) override;
  std::optional<std::int64_t> FileLength(const std::string& path) override;
  std::optional<std::uint64_t> LastWriteTime(const std::string& path) override;
  FileState StateOf(const std::string& path) override;
  bool FolderExists(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  bool MoveFileReplacing(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;
};

}  // namespace hta::win32
