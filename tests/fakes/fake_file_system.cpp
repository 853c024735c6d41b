#include "fakes/fake_file_system.h"

#include <algorithm>
#include <cstddef>
#include <span>
#include <utility>

namespace hta::fakes {

namespace {

unsigned char FoldCase(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

class FakeFileWriter final : public FileWriter {
 public:
  FakeFileWriter(FakeFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

  bool Write(std::span<const std::byte> bytes) override {
    if (files_.writesFail) {
      return false;
    }
    std::string contents = files_.Contents(path_).value_or(std::string());
    contents.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    files_.Put(path_, std::move(contents));
    return true;
  }

 private:
  FakeFileSystem& files_;
  std::string path_;
};

}  // namespace

bool PathLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return FoldCase(x) < FoldCase(y); });
}

std::optional<std::string> FakeFileSystem::ReadAll(const std::string& path) {
  ++readCount;
  if (IsUnreadable(path)) {
    return std::nullopt;
  }
  return Contents(path);
}

std::unique_ptr<FileWriter> FakeFileSystem::OpenForWrite(const std::string& path, bool truncate) {
  if (IsUnreadable(path)) {
    return nullptr;
  }
  if (truncate || !Exists(path)) {
    Put(path, std::string());
  }
  return std::make_unique<FakeFileWriter>(*this, path);
}

std::optional<std::int64_t> FakeFileSystem::FileLength(const std::string& path) {
  const auto found = files_.find(path);
  if (found == files_.end()) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(found->second.size());
}

void FakeFileSystem::Put(const std::string& path, std::string bytes) {
  files_[path] = std::move(bytes);
}

void FakeFileSystem::Remove(const std::string& path) {
  files_.erase(path);
  unreadable_.erase(path);
}

bool FakeFileSystem::Exists(const std::string& path) const {
  return files_.count(path) != 0;
}

std::optional<std::string> FakeFileSystem::Contents(const std::string& path) const {
  const auto found = files_.find(path);
  if (found == files_.end()) {
    return std::nullopt;
  }
  return found->second;
}

void FakeFileSystem::MarkUnreadable(const std::string& path) {
  unreadable_.insert(path);
}

bool FakeFileSystem::IsUnreadable(const std::string& path) const {
  return unreadable_.count(path) != 0;
}

}  // namespace hta::fakes
