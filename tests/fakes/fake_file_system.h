#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ports/file_system.h"

namespace hta::fakes {

// Orders paths as Windows compares them: ASCII letters without regard to case.
struct PathLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

// An in-memory file system: a map from path to the file's bytes. Paths are
// compared without regard to ASCII case, as on Windows. Folders are a set of
// names of their own, kept apart from the files: a file may be written
// whether or not its folder is listed, so tests that do not care about
// folders need not create them. A writer's bytes reach the map at once, so a
// read while it is open sees them, as the platform's readers do.
//
// Its ANSI code page is Latin-1: PathFromAnsi turns each byte above 0x7F
// into that character's UTF-8, so a test sees where a conversion was left
// out. The disk may be given a capacity, which the files' bytes together
// never exceed: a Write that does not fit writes what fits and fails as on
// a full disk, and a removal gives the room back.
class FakeFileSystem final : public FileSystem {
 public:
  std::string PathFromAnsi(std::string_view text) override;
  FileFailure LastFailure() override { return lastFailure; }
  std::optional<std::string> ReadAll(const std::string& path) override;
  std::unique_ptr<FileWriter> OpenForWrite(const std::string& path, bool truncate) override;
  std::optional<std::int64_t> FileLength(const std::string& path) override;
  // A tick of the fake's own clock, taken anew by every Put and write; a
  // move keeps it.
  std::optional<std::uint64_t> LastWriteTime(const std::string& path) override;
  // A listed folder is a folder; a file marked unreadable is locked.
  FileState StateOf(const std::string& path) override;
  // Folder names are compared without a trailing backslash.
  bool FolderExists(const std::string& path) override;
  // Fails when the folder or a file of that name exists, or when
  // folderCreationFails is set.
  bool CreateFolder(const std::string& path) override;
  // Fails when `from` is missing or either path is marked unreadable (a
  // locked file), or when movesFail is set; nothing changes then.
  bool MoveFileReplacing(const std::string& from, const std::string& to) override;
  // Fails when the file is missing or marked unreadable.
  bool RemoveFile(const std::string& path) override;
  // The files whose path is `folder` and a name without a backslash.
  std::vector<std::string> FileNamesIn(const std::string& folder) override;

  // Creates or replaces a file; it counts as written now.
  void Put(const std::string& path, std::string bytes) { files_[path] = File{std::move(bytes), ++tick_}; }
  bool Exists(const std::string& path) const { return files_.count(path) != 0; }
  // The file's bytes without counting a read; nullopt when there is none.
  std::optional<std::string> Contents(const std::string& path) const;

  // The file stays listed but cannot be opened (locked, no access), for
  // reading and for writing through the profile fake.
  void MarkUnreadable(const std::string& path) { unreadable_.insert(path); }
  bool IsUnreadable(const std::string& path) const { return unreadable_.count(path) != 0; }

  // The path of every CreateFolder call, as given, successful or not.
  std::vector<std::string> folderCreations;
  bool folderCreationFails = false;
  bool movesFail = false;
  // When set, every Write of every writer fails and writes nothing (a full
  // disk).
  bool writesFail = false;
  // The disk's size in bytes; none: unlimited.
  std::optional<std::size_t> diskCapacity;
  // What LastFailure reports: set by every failing call.
  FileFailure lastFailure = FileFailure::None;
  // The bytes of all files together.
  std::size_t BytesUsed() const;
  // Writers not yet destroyed.
  std::size_t openWriters = 0;

 private:
  struct File {
    std::string bytes;
    std::uint64_t written = 0;  // the tick of its last write
  };
  std::map<std::string, File, PathLess> files_;
  std::uint64_t tick_ = 0;
  std::set<std::string, PathLess> unreadable_;
  std::set<std::string, PathLess> folders_;
};

}  // namespace hta::fakes
