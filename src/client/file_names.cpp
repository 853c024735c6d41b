#include "client/file_names.h"

#include <array>
#include <cstddef>

#include "common/ascii.h"
#include "common/control_characters.h"
#include "common/trim.h"

namespace hta {
namespace {

// COM and LPT take a digit 1 to 9; Windows also takes the superscript
// digits 1, 2 and 3 of the Latin-1 code pages (bytes 0xB9, 0xB2, 0xB3).
bool IsPortNumber(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= '1' && byte <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

bool IsDeviceName(std::string_view stem) {
  constexpr std::array<std::string_view, 6> kNames = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const std::string_view device : kNames) {
    if (EqualsIgnoringCase(stem, device)) {
      return true;
    }
  }
  // The digit is one byte in a name as the server sent it, two in the same
  // name made a UTF-8 path (0xC2 and the Latin-1 byte).
  const bool portNumber = (stem.size() == 4 && IsPortNumber(stem[3])) ||
                          (stem.size() == 5 && static_cast<unsigned char>(stem[3]) == 0xC2 &&
                           static_cast<unsigned char>(stem[4]) >= 0xB2 && IsPortNumber(stem[4]));
  if (portNumber) {
    const std::string_view prefix = stem.substr(0, 3);
    return EqualsIgnoringCase(prefix, "COM") || EqualsIgnoringCase(prefix, "LPT");
  }
  return false;
}

}  // namespace

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") {
    return false;
  }
  for (const char c : name) {
    if (c == '\\' || c == '/' || c == ':' || IsControlCharacter(c)) {
      return false;
    }
  }
  if (name.back() == '.' || name.back() == ' ') {
    return false;
  }
  // The device test looks at the part before the first dot, without the
  // blanks Windows would strip from its end ("con .hta" is CON too).
  const std::string_view stem = TrimEnd(name.substr(0, name.find('.')), " ");
  return !IsDeviceName(stem);
}

}  // namespace hta
