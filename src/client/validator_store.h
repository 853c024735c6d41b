#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "client/validators.h"
#include "ports/environment.h"
#include "ports/file_system.h"
#include "ports/profile.h"

namespace hta {

// The store's file in the application folder. No reply or action may name
// it: only the store writes it.
inline constexpr std::string_view kValidatorStoreName = "validators.ini";

// Whether a file name from the server names the store (any letter case).
bool IsValidatorStoreName(std::string_view fileName);

// What the launcher remembers of one file it wrote from a response: where
// it came from (a hash of the address, so no query reaches the disk), the
// server's validators, and the file as written. The validators hold only
// while the file on disk is still that file.
struct RememberedFile {
  std::uint64_t addressHash = 0;
  Validators validators;
  std::int64_t length = 0;
  std::uint64_t lastWrite = 0;
};

// The validators of the application files, kept in one small INI file in
// the application folder and replaced whole through its own ".new", so a
// crash leaves the old store or the new one. A missing, damaged or foreign
// store holds nothing: requests are then sent as without it, never refused.
//
// The ports are borrowed and must outlive the store.
class ValidatorStore {
 public:
  ValidatorStore(ProfileCalls& profile, FileSystem& files, Environment& environment);

  // Reads the store of `folder` (ending in a backslash). Before this, the
  // store holds nothing and saves nothing.
  void Open(const std::string& folder);

  // The header lines for a request of `address` that would replace the
  // folder's file `target`: empty unless validators are remembered for that
  // file from that address and the file on disk still has the remembered
  // length and last-write time (a file changed or removed there is fetched
  // whole).
  std::string RequestLines(const std::string& target, std::string_view address);

  // `target` was just written from a response of `address` with the raw
  // header block `rawHeaders`: its validators are remembered with the file
  // as it is now, or forgotten when the response carried none.
  void Written(const std::string& target, std::string_view address, std::string_view rawHeaders);

  // Writes the store when it changed since it was read or last saved. A
  // store that cannot be written stays as it was on disk.
  void Save();

 private:
  // The file's name in the folder, as a key: letter case folded, as
  // Windows compares names.
  std::optional<std::string> KeyOf(const std::string& target) const;
  // Whether `target` on disk is still the file `remembered` describes.
  bool StillWritten(const std::string& target, const RememberedFile& remembered);
  bool WriteWhole(const std::string& path);

  ProfileCalls& profile_;
  FileSystem& files_;
  Environment& environment_;
  std::string folder_;
  std::map<std::string, RememberedFile> byName_;
  bool changed_ = false;
};

}  // namespace hta
