#pragma once

#include <cstddef>
#include <span>

namespace hta {

// The Windows profile (INI file) calls, in their own shape.
//
// Texts are NUL-terminated ANSI strings, except `fileName`: a full path, in
// UTF-8 as every path of the core (see file_system.h). A missing file is not
// an error (reads give the default, writes create it).
// Never re-enters the core.
class ProfileCalls {
 public:
  virtual ~ProfileCalls() = default;

  // GetPrivateProfileString.
  // - key != nullptr: copies the key's value, cut to buffer.size() - 1
  //   characters, or `defaultValue` when the key or file is missing, and
  //   NUL-terminates it; returns the number of characters copied.
  // - key == nullptr: copies the section's key names in file order, each
  //   followed by a NUL, then one more NUL; returns the count without the
  //   final NUL. When the names do not fit, the list is cut and the call
  //   returns buffer.size() - 2.
  // `section` and `defaultValue` are never null. buffer.size() >= 2.
  virtual std::size_t ProfileRead(const char* section, const char* key, const char* defaultValue,
                                  std::span<char> buffer, const char* fileName) = 0;

  // WritePrivateProfileString.
  // - value == nullptr removes the key;
  // - key == nullptr (and value == nullptr) removes the whole section.
  // Returns whether the platform reported success.
  virtual bool ProfileWrite(const char* section, const char* key, const char* value,
                            const char* fileName) = 0;
};

}  // namespace hta
