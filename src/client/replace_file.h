#pragma once

#include <string>
#include <string_view>

#include "ports/file_system.h"

namespace hta {

// What became of a new version of a file, and why when it failed.
struct Replacement {
  enum class Outcome {
    Done,        // the new file is in place
    NotWritten,  // it could not be written whole; the target is as it was
    NotMoved,    // it could not be put over the target (held open by another
                 // program, say); the target is as it was
  };
  Outcome outcome = Outcome::Done;
  // The file system's reason, when not Done.
  FileFailure failure = FileFailure::None;

  bool Done() const { return outcome == Outcome::Done; }
};

// Puts the complete, closed file `finished` in the place of `target` in one
// move, so a reader (and a failure) sees either the old file or the whole
// new one, never none and never a part. When it cannot be moved (the target
// is held open by another program), `finished` is removed and the target
// stays as it was: nothing is left behind either way.
inline Replacement ReplaceFileWith(FileSystem& files, const std::string& finished,
                                   const std::string& target) {
  if (files.MoveFileReplacing(finished, target)) {
    return Replacement{};
  }
  const Replacement failed{Replacement::Outcome::NotMoved, files.LastFailure()};
  files.RemoveFile(finished);
  return failed;
}

// The log's words for why a file call failed.
inline std::string_view FailureText(FileFailure failure) {
  switch (failure) {
    case FileFailure::DiskFull:
      return "the disk is full";
    case FileFailure::AccessDenied:
      return "access denied";
    case FileFailure::InUse:
      return "in use by another program";
    case FileFailure::NotFound:
      return "the folder is missing";
    case FileFailure::TooLong:
      return "the path is too long";
    case FileFailure::None:
    case FileFailure::Other:
      break;
  }
  return "an error of the file system";
}

// The end of a "Download refused: <file>: " line for a replacement that
// failed: a target held by another program is "the file in place is in
// use", anything else "could not be written (<reason>)".
inline std::string RefusalText(const Replacement& replacement) {
  if (replacement.outcome == Replacement::Outcome::NotMoved &&
      (replacement.failure == FileFailure::InUse || replacement.failure == FileFailure::AccessDenied)) {
    return "the file in place is in use";
  }
  return "could not be written (" + std::string(FailureText(replacement.failure)) + ")";
}

}  // namespace hta
