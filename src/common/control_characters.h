#pragma once

#include <algorithm>
#include <string_view>

// Bytes that must never reach a file name, a request or a reply line the
// program acts on: a line break there would end a header line, a NUL would
// cut the text short.
namespace hta {

// A control character: a byte below 0x20, or DEL (0x7F). Bytes above 127
// are characters of the user's code page, never controls.
constexpr bool IsControlCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

// A control character or the blank: for texts that a blank would end too,
// such as the target of a request line, or a query value sent as it is.
constexpr bool IsControlOrBlank(char c) {
  return c == ' ' || IsControlCharacter(c);
}

constexpr bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return IsControlCharacter(c); });
}

}  // namespace hta
