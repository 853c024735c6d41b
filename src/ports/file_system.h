#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hta {

// A file opened for writing raw bytes by FileSystem::OpenForWrite. The file
// stays open until the writer is destroyed, which closes it; after that every
// byte of every successful Write is in the file. Never re-enters the core.
class FileWriter {
 public:
  virtual ~FileWriter() = default;

  // Writes all of `bytes` at the current position and moves it past them.
  // The writer keeps nothing back: once this returns true the bytes are with
  // the platform (other openers of the file see them). false when not all of
  // them could be written (disk full, ...); how many were is then unknown,
  // and the file system's LastFailure says why.
  virtual bool Write(std::span<const std::byte> bytes) = 0;
};

// Why a file call failed, as the platform reported it.
enum class FileFailure {
  None,          // no call has failed yet
  DiskFull,      // no room left on the disk, or the user's quota is used up
  AccessDenied,  // a read-only file or folder, or rights the user lacks
  InUse,         // another program holds the file without sharing it
  NotFound,      // the file or its folder is missing
  TooLong,       // the path is longer than the platform takes
  Other,
};

// What a path names, as FileSystem::StateOf finds it.
enum class FileState {
  Missing,  // nothing there, a bad path, or a failure of the test
  Present,  // a file that can be opened for reading
  Locked,   // a file that is there but that another program holds without
            // sharing it, or that the user may not read
  Folder,   // a folder, which is never taken for a file
};

// File operations. Each opens and closes its file inside the one call;
// nothing stays open between calls, except the file behind a FileWriter, for
// as long as that writer lives. Never re-enters the core.
//
// Paths are UTF-8, here and everywhere in the core (the environment's
// folders, the shell, the sound, the profile's file name, the log), so a
// folder named in any script works: a user profile "C:\Users\Дмитрий" is
// one the ANSI code page cannot spell. A file name that a server sent is a
// text in the ANSI code page like every text of the protocol; PathFromAnsi
// makes it a part of a path. Paths of any length are taken: the platform is
// asked to go past its short-path limit rather than cut a path.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // `text`, a text in the ANSI code page (a file name from a server's
  // reply), in the encoding of paths. Never fails: a byte that is no
  // character of the code page becomes U+FFFD.
  virtual std::string PathFromAnsi(std::string_view text) = 0;

  // Why the last call of this file system (or of one of its writers) that
  // failed on this thread failed; None before any failed.
  virtual FileFailure LastFailure() = 0;

  // The file's bytes, or nullopt when it cannot be opened for reading
  // (missing, a folder, locked, no access).
  virtual std::optional<std::string> ReadAll(const std::string& path) = 0;

  // Opens the file for writing raw bytes, creating it when missing (its
  // folder must exist). With `truncate` the file is emptied and writing
  // starts at byte 0; without it the file keeps its bytes and writing starts
  // at its end. Others may read the file while it is open. nullptr when it
  // cannot be opened or created (a folder, a missing folder, locked, no
  // access); the file is then untouched.
  virtual std::unique_ptr<FileWriter> OpenForWrite(const std::string& path, bool truncate) = 0;

  // The file's length in bytes, or nullopt when the path names no file
  // (missing, a folder) or its length cannot be read.
  virtual std::optional<std::int64_t> FileLength(const std::string& path) = 0;

  // When the file was last written, in the platform's 100-nanosecond steps
  // since 1601; nullopt when the path names no file (missing, a folder) or
  // the time cannot be read. A move keeps the time of the file moved.
  virtual std::optional<std::uint64_t> LastWriteTime(const std::string& path) = 0;

  // Whether a file is at `path`. A file counts even when it cannot be opened
  // for reading (sharing violation, access denied): it exists and occupies
  // the name.
  virtual FileState StateOf(const std::string& path) = 0;

  // The folder and move/delete calls below are not named after their Win32
  // calls: windows.h defines CreateDirectory, MoveFile and DeleteFile as
  // macros, which would rename these methods in the Win32 build.

  // Whether `path` names an existing folder; a trailing backslash is
  // allowed. A file of that name, a missing path and any failure of the test
  // all give false.
  virtual bool FolderExists(const std::string& path) = 0;

  // Creates one folder; its parent must exist (no intermediate folders are
  // made). A trailing backslash is allowed. false when nothing was created:
  // the folder or a file of that name exists already, the parent is
  // missing, no access.
  virtual bool CreateFolder(const std::string& path) = 0;

  // Moves the file `from` to `to` in one step, replacing a file already at
  // `to` (MoveFileExW with MOVEFILE_REPLACE_EXISTING), so a reader of `to`
  // sees either the old file or the whole new one. The bytes of `from` are
  // flushed to the disk (FlushFileBuffers) before the move, so not even a
  // power cut can leave `to` naming a file whose bytes never got there.
  // Both paths lie in the same folder when the core calls it. false when the
  // file was not moved (`from` missing, or not opened for writing or not
  // flushed, `to` locked or a folder, no access); both files are then as
  // they were.
  virtual bool MoveFileReplacing(const std::string& from, const std::string& to) = 0;

  // Deletes the file. false when it was not deleted (missing, a folder,
  // locked, no access).
  virtual bool RemoveFile(const std::string& path) = 0;

  // The names of the files directly in `folder` (ending in a backslash), in
  // no particular order; folders are left out. Empty when there are none or
  // the folder cannot be listed.
  virtual std::vector<std::string> FileNamesIn(const std::string& folder) = 0;
};

}  // namespace hta
