#pragma once

#include <string>

namespace hta {

// Upper-case, as the stored passwords and the escaped query bytes have
// always been written.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// Appends `byte` as two hexadecimal digits, the high one first.
inline void AppendHexByte(std::string& out, unsigned char byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

}  // namespace hta
