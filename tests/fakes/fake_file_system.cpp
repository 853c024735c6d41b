#include "fakes/fake_file_system.h"

#include <algorithm>
#include <cstddef>
#include <span>
#include <utility>

#include "common/ascii.h"

namespace hta::fakes {

namespace {

class FakeFileWriter final : public FileWriter {
 public:
  FakeFileWriter(FakeFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {
    ++files_.openWriters;
  }
  ~FakeFileWriter() override { --files_.openWriters; }
  FakeFileWriter(const FakeFileWriter&) = delete;
  FakeFileWriter& operator=(const FakeFileWriter&) = delete;

  bool Write(std::span<const std::byte> bytes) override {
    if (files_.writesFail) {
      files_.lastFailure = FileFailure::DiskFull;
      return false;
    }
    std::size_t fits = bytes.size();
    if (files_.diskCapacity) {
      const std::size_t used = files_.BytesUsed();
      fits = std::min(fits, *files_.diskCapacity - std::min(*files_.diskCapacity, used));
    }
    std::string contents = files_.Contents(path_).value_or(std::string());
    contents.append(reinterpret_cast<const char*>(bytes.data()), fits);
    files_.Put(path_, std::move(contents));
    if (fits < bytes.size()) {
      files_.lastFailure = FileFailure::DiskFull;
      return false;
    }
    return true;
  }

 private:
  FakeFileSystem& files_;
  std::string path_;
};

// The folder's name without its trailing backslashes.
std::string FolderName(const std::string& path) {
  return path.substr(0, path.find_last_not_of('\\') + 1);
}

}  // namespace

bool PathLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
}

std::string FakeFileSystem::PathFromAnsi(std::string_view text) {
  std::string utf8;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (byte >> 6));
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

std::size_t FakeFileSystem::BytesUsed() const {
  std::size_t used = 0;
  for (const auto& [path, file] : files_) {
    used += file.bytes.size();
  }
  return used;
}

std::vector<std::string> FakeFileSystem::FileNamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& [path, file] : files_) {
    const std::string name = path.substr(std::min(folder.size(), path.size()));
    if (!name.empty() && EqualsIgnoringCase(path.substr(0, folder.size()), folder) &&
        name.find('\\') == std::string::npos) {
      names.push_back(name);
    }
  }
  return names;
}

std::optional<std::string> FakeFileSystem::ReadAll(const std::string& path) {
  if (IsUnreadable(path) || !Exists(path)) {
    lastFailure = Exists(path) ? FileFailure::InUse : FileFailure::NotFound;
    return std::nullopt;
  }
  return Contents(path);
}

std::unique_ptr<FileWriter> FakeFileSystem::OpenForWrite(const std::string& path, bool truncate) {
  if (IsUnreadable(path)) {
    lastFailure = FileFailure::InUse;
    return nullptr;
  }
  if (truncate || !Exists(path)) {
    Put(path, std::string());
  }
  return std::make_unique<FakeFileWriter>(*this, path);
}

std::optional<std::int64_t> FakeFileSystem::FileLength(const std::string& path) {
  const auto found = files_.find(path);
  return found == files_.end() ? std::nullopt
                               : std::optional(static_cast<std::int64_t>(found->second.bytes.size()));
}

std::optional<std::uint64_t> FakeFileSystem::LastWriteTime(const std::string& path) {
  const auto found = files_.find(path);
  return found == files_.end() ? std::nullopt : std::optional(found->second.written);
}

bool FakeFileSystem::FolderExists(const std::string& path) {
  return folders_.count(FolderName(path)) != 0;
}

bool FakeFileSystem::CreateFolder(const std::string& path) {
  folderCreations.push_back(path);
  const std::string name = FolderName(path);
  if (folderCreationFails || folders_.count(name) != 0 || Exists(name)) {
    return false;
  }
  folders_.insert(name);
  return true;
}

FileState FakeFileSystem::StateOf(const std::string& path) {
  if (FolderExists(path)) {
    return FileState::Folder;
  }
  if (!Exists(path)) {
    return FileState::Missing;
  }
  return IsUnreadable(path) ? FileState::Locked : FileState::Present;
}

bool FakeFileSystem::MoveFileReplacing(const std::string& from, const std::string& to) {
  if (movesFail || !Exists(from) || IsUnreadable(from) || IsUnreadable(to) || FolderExists(to)) {
    lastFailure = !Exists(from) ? FileFailure::NotFound : movesFail ? FileFailure::Other : FileFailure::InUse;
    return false;
  }
  auto moved = files_.extract(from);
  moved.key() = to;
  files_.erase(to);
  files_.insert(std::move(moved));
  return true;
}

bool FakeFileSystem::RemoveFile(const std::string& path) {
  if (!Exists(path) || IsUnreadable(path)) {
    lastFailure = Exists(path) ? FileFailure::InUse : FileFailure::NotFound;
    return false;
  }
  files_.erase(path);
  return true;
}

std::optional<std::string> FakeFileSystem::Contents(const std::string& path) const {
  const auto found = files_.find(path);
  return found == files_.end() ? std::nullopt : std::optional<std::string>(found->second.bytes);
}

}  // namespace hta::fakes
