#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/environment.h"
#include "ports/file_system.h"
#include "ports/profile.h"

namespace hta {

// One Windows profile (INI) file: read, written and deleted from through the
// platform's profile calls, and scanned as plain text to count its section
// header lines and key lines.
//
// The only state is the file name; nothing is cached, so every member reads
// or writes the file afresh and none keeps it open. The ports are borrowed:
// they must outlive the object.
class IniFile {
 public:
  // Names the file beside the running executable: its folder, then its name
  // without extension, then ".ini" ("C:\Apps\Launcher.exe" uses
  // "C:\Apps\Launcher.ini"; at a drive's root "C:\Launcher.ini"). The
  // environment is asked once, here.
  IniFile(ProfileCalls& profile, FileSystem& files, Environment& environment);

  // The number of lines of the file for which IsKey holds, over the whole
  // file (comment lines with an "=" included); nullopt when the file cannot
  // be opened. Saturates at INT32_MAX, which no real file reaches.
  std::optional<std::int32_t> TotalKeys() const;

  // The number of lines of the file for which IsSection holds; nullopt when
  // the file cannot be opened. It takes no file name on purpose: it always
  // counts the file named by FileName(), never another one.
  std::optional<std::int32_t> TotalSections() const;

  // Read form: the key's value, cut to 1023 characters; `fallback` when the
  // key, its section or the file is missing; the empty text for an empty
  // value. The profile calls trim blanks around values.
  std::string Setting(const std::string& section, const std::string& key,
                      const std::string& fallback = std::string()) const;

  // Write form: stores `value` as the key's value, creating the key, the
  // section or the file as needed. `fallback` is accepted for symmetry with
  // the read form and ignored. The platform's result is not examined: there
  // is nothing the caller could do about a failed write.
  void Setting(const std::string& section, const std::string& key, const std::string& fallback,
               const std::string& value);

  // Removes the key (nothing happens when it is missing).
  void DeleteItem(const std::string& section, const std::string& key);

  // Removes the section with all its keys.
  void ProfileDeleteSection(const std::string& section);

  // Lists the section's key names in file order into `keys` (emptied first;
  // an ordinary zero-based list) and sets `count` to their number, which is
  // always keys.size(). A missing or empty section gives 0 and an empty list.
  // The names are read through an 8192-character buffer: a name cut off at
  // its end is left out, so only complete names are listed.
  void EnumerateSection(const std::string& section, std::vector<std::string>& keys,
                        std::int32_t& count) const;

  // Replaces the file name; no test that the file exists.
  void FileName(const std::string& fileName);
  const std::string& FileName() const;

  // True when the line holds an "=" anywhere. Any length.
  static bool IsKey(std::string_view line);

  // True when the line starts with "[" and ends with "]" exactly: nothing is
  // trimmed, so " [a]" and "[a] " are not headers, "[]" is and "[" is not.
  static bool IsSection(std::string_view line);

 private:
  // The section's key names, each followed by a NUL, as the profile call
  // returns them through an 8192-character buffer.
  std::string SectionKeyList(const std::string& section) const;

  // Counts the lines of the file that satisfy `test`.
  std::optional<std::int32_t> CountLines(bool (*test)(std::string_view)) const;

  ProfileCalls& profile_;
  FileSystem& files_;
  std::string fileName_;
};

}  // namespace hta
