#include "win32/win32_file_system.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <stdexcept>
#include <utility>

#include "win32/handles.h"
#include "win32/unique_handle.h"
#include "win32/wide_text.h"
#include "win32/win32_headers.h"

namespace hta::win32 {

namespace {

// The reason of this thread's last failed call, as GetLastError keeps its
// code: a writer and its file system may live on different objects, and a
// failure must be told to whoever asks next on the same thread.
thread_local FileFailure lastFailure = FileFailure::None;

// ERROR_DISK_QUOTA_EXCEEDED, which the toolchain's headers lack.
constexpr DWORD kDiskQuotaExceeded = 1295;

FileFailure FailureOf(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kDiskQuotaExceeded:
      return FileFailure::DiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FileFailure::AccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return FileFailure::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FileFailure::NotFound;
    case ERROR_FILENAME_EXCED_RANGE:
      return FileFailure::TooLong;
    default:
      return FileFailure::Other;
  }
}

// Notes why the call that just failed did, and passes its result on.
template <typename Result>
Result Failed(Result result) {
  lastFailure = FailureOf(GetLastError());
  return result;
}

bool Noted(BOOL succeeded) {
  return succeeded != FALSE || Failed(false);
}

// Bytes asked of ReadFile at a time.
constexpr DWORD kChunkSize = 64 * 1024;

// Reads from the current position to the end. False on a read error. May
// throw std::bad_alloc or std::length_error for a file that does not fit
// into memory.
bool ReadToEnd(HANDLE file, std::string& contents) {
  for (;;) {
    const std::size_t used = contents.size();
    contents.resize(used + kChunkSize);
    DWORD read = 0;
    if (!ReadFile(file, contents.data() + used, kChunkSize, &read, nullptr)) {
      return false;
    }
    contents.resize(used + read);
    if (read == 0) {
      return true;
    }
  }
}

class Win32FileWriter final : public FileWriter {
 public:
  explicit Win32FileWriter(UniqueHandle file) : file_(std::move(file)) {}

  bool Write(std::span<const std::byte> bytes) override {
    // WriteFile takes a 32-bit count and may write less than asked on some
    // devices, so the bytes go out in pieces until all are written.
    while (!bytes.empty()) {
      const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file_.get(), bytes.data(), piece, &written, nullptr)) {
        return Failed(false);
      }
      if (written == 0) {
        lastFailure = FileFailure::Other;
        return false;
      }
      bytes = bytes.subspan(written);
    }
    return true;
  }

 private:
  UniqueHandle file_;
};

}  // namespace

std::optional<std::string> Win32FileSystem::ReadAll(const std::string& path) {
  // Others may keep the file open for reading or writing (an editor, the
  // profile calls of another program); reading it must not be refused then.
  // A folder cannot be opened this way (that needs backup semantics), so it
  // reads as "cannot be opened", like a missing file.
  UniqueHandle file(CreateFileW(FileCallPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    return Failed(std::nullopt);
  }
  std::string contents;
  LARGE_INTEGER size{};
  // The size is only a hint: the file may grow or shrink while it is read.
  try {
    if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 &&
        static_cast<unsigned long long>(size.QuadPart) < contents.max_size()) {
      contents.reserve(static_cast<std::size_t>(size.QuadPart) + kChunkSize);
    }
    if (!ReadToEnd(file.get(), contents)) {
      return Failed(std::nullopt);
    }
  } catch (const std::bad_alloc&) {
    // No exception crosses a port: a file too large to hold cannot be read.
    return std::nullopt;
  } catch (const std::length_error&) {
    return std::nullopt;
  }
  return contents;
}

std::unique_ptr<FileWriter> Win32FileSystem::OpenForWrite(const std::string& path, bool truncate) {
  // OPEN_ALWAYS and then cutting the file, rather than CREATE_ALWAYS: the
  // latter refuses hidden and system files and resets their attributes.
  UniqueHandle file(CreateFileW(FileCallPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return Failed(nullptr);
  }
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file.get(), start, nullptr, truncate ? FILE_BEGIN : FILE_END)) {
    return Failed(nullptr);
  }
  if (truncate && !SetEndOfFile(file.get())) {
    return Failed(nullptr);
  }
  // No exception crosses a port, not even a failed allocation.
  return std::unique_ptr<FileWriter>(new (std::nothrow) Win32FileWriter(std::move(file)));
}

std::optional<std::int64_t> Win32FileSystem::FileLength(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(FileCallPath(path).c_str(), GetFileExInfoStandard, &data)) {
    return Failed(std::nullopt);
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

std::optional<std::uint64_t> Win32FileSystem::LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

FileState Win32FileSystem::StateOf(const std::string& path) {
  const std::wstring callPath = FileCallPath(path);
  const DWORD attributes = GetFileAttributesW(callPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // A few files (the page file) refuse even their attributes to others.
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION ? FileState::Locked : FileState::Missing;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return FileState::Folder;
  }
  // The open with every sharing mode tells a readable file from one that
  // another program holds exclusively (or that the user may not read);
  // both occupy the name.
  const UniqueHandle file(CreateFileW(callPath.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) {
    return FileState::Present;
  }
  switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ACCESS_DENIED:
      return FileState::Locked;
    default:
      return FileState::Missing;
  }
}

bool Win32FileSystem::FolderExists(const std::string& path) {
  // The attributes, not a listing of the folder: a folder the user may not
  // list still exists, and creating it again would only fail.
  const DWORD attributes = GetFileAttributesW(FileCallPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32FileSystem::CreateFolder(const std::string& path) {
  return Noted(CreateDirectoryW(FileCallPath(path).c_str(), nullptr));
}

bool Win32FileSystem::MoveFileReplacing(const std::string& from, const std::string& to) {
  // The new file's bytes go to the disk first: the move alone may reach the
  // disk before them, and a power cut would then leave the name on a file
  // of zeros or no length instead of on the old file. A handle of our own
  // flushes every byte the writer left in the cache.
  const std::wstring source = FileCallPath(from);
  {
    const UniqueHandle file(CreateFileW(source.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !FlushFileBuffers(file.get())) {
      return Failed(false);
    }
  }
  // Write-through: the call returns only once the move is on disk, so a
  // power cut right after it cannot leave the old file gone and the new one
  // not yet there.
  return Noted(MoveFileExW(source.c_str(), FileCallPath(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

bool Win32FileSystem::RemoveFile(const std::string& path) {
  return Noted(DeleteFileW(FileCallPath(path).c_str()));
}

std::vector<std::string> Win32FileSystem::FileNamesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  const OwnedFind search = TakeSearch(FindFirstFileExW(FileCallPath(folder + "*").c_str(), FindExInfoBasic,
                                                       &found, FindExSearchNameMatch, nullptr, 0));
  if (!search) {
    return Failed(names);
  }
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.push_back(Utf8FromWide(found.cFileName));
    }
  } while (FindNextFileW(search.get(), &found));
  return names;
}

std::string Win32FileSystem::PathFromAnsi(std::string_view text) {
  return Utf8FromWide(WideFromAnsi(text));
}

FileFailure Win32FileSystem::LastFailure() {
  return lastFailure;
}

}  // namespace hta::win32
