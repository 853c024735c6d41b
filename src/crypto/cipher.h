#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The credential cipher that protects the proxy password in the INI file.
//
// The stored form is a text of hexadecimal digit pairs, one pair per byte.
// Byte number i of the password (counting from 1) is stored as
//   password[i] XOR CipherMask(i) XOR key[(i - 1) mod key length],
// so the same per-position operation turns either form into the other.
// Texts are byte strings; every byte value, NUL included, is kept.
namespace hta {

// The mask byte of position `position` (counting from 1): the whole part of
// |sin(position)| * 255, the sine taken in radians in double precision.
// Always 0 to 254. Exposed so tests can pin the values down on every
// platform: stored passwords decrypt only if both sides agree on them.
std::uint8_t CipherMask(std::size_t position);

// Turns a text of hexadecimal digit pairs into one byte per pair, the first
// digit of a pair being the high half. A text of odd length is corrupted and
// gives nullopt; telling the user is the caller's business. The empty text
// gives the empty text.
//
// A pair that is not two hexadecimal digits is not reported: its digits are
// read from the start of the pair for as long as they are hexadecimal digits
// ("1G" reads as 0x01, "G1" and "zz" as 0x00). Lower-case digits read like
// upper-case ones.
std::optional<std::string> HexDecode(std::string_view text);

// Decodes `cipherText` with HexDecode and undoes the per-position XOR with
// `key` and the masks. The result has exactly one byte per decoded byte; any
// length is accepted. nullopt when HexDecode finds the text corrupted.
//
// `key` is not empty in the program: the start-up always builds a key of
// several dozen characters. An empty key with a non-empty cipher text has no
// meaning; it gives the empty text.
std::optional<std::string> Decrypt(std::string_view cipherText, std::string_view key);

// The reverse direction, for the administrator tool that writes the stored
// form (and for tests): the same per-position XOR, each result byte written
// as two upper-case hexadecimal digits. An empty key gives the empty text.
std::string Encrypt(std::string_view plainText, std::string_view key);

}  // namespace hta
