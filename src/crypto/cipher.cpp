#include "crypto/cipher.h"

#include <cmath>

#include "common/hex_digits.h"

namespace hta {

namespace {

// The value of one hexadecimal digit, or -1 for any other character.
int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

// Reads a pair the way a hexadecimal number is read: digits from the left
// for as long as they are digits. A pair that does not start with a digit is
// 0; that keeps one byte per pair, which the position arithmetic relies on.
unsigned char DecodePair(char high, char low) {
  const int first = HexDigitValue(high);
  if (first < 0) {
    return 0;
  }
  const int second = HexDigitValue(low);
  if (second < 0) {
    return static_cast<unsigned char>(first);
  }
  return static_cast<unsigned char>(first * 16 + second);
}

// The one per-position operation both directions share. Positions count
// from 1 for the mask; the key repeats from its first byte. The position is
// a size_t, so there is no length limit short of memory.
std::string ApplyKeyAndMasks(std::string_view bytes, std::string_view key) {
  std::string result;
  if (key.empty()) {
    return result;
  }
  result.resize(bytes.size());
  for (std::size_t index = 0; index < bytes.size(); ++index) {
    const auto byte = static_cast<unsigned char>(bytes[index]);
    const auto keyByte = static_cast<unsigned char>(key[index % key.size()]);
    result[index] = static_cast<char>(byte ^ CipherMask(index + 1) ^ keyByte);
  }
  return result;
}

}  // namespace

std::uint8_t CipherMask(std::size_t position) {
  // |sin| of an integer is never 1, so the product stays below 255 and the
  // whole part fits a byte.
  const double product = std::fabs(std::sin(static_cast<double>(position))) * 255.0;
  return static_cast<std::uint8_t>(std::floor(product));
}

std::optional<std::string> HexDecode(std::string_view text) {
  if (text.size() % 2 != 0) {
    return std::nullopt;
  }
  std::string result;
  // Reserved once: the output is exactly half the input.
  result.reserve(text.size() / 2);
  for (std::size_t index = 0; index < text.size(); index += 2) {
    result.push_back(static_cast<char>(DecodePair(text[index], text[index + 1])));
  }
  return result;
}

std::optional<std::string> Decrypt(std::string_view cipherText, std::string_view key) {
  const std::optional<std::string> decoded = HexDecode(cipherText);
  if (!decoded) {
    return std::nullopt;
  }
  return ApplyKeyAndMasks(*decoded, key);
}

std::string Encrypt(std::string_view plainText, std::string_view key) {
  const std::string mixed = ApplyKeyAndMasks(plainText, key);
  std::string result;
  result.reserve(mixed.size() * 2);
  for (const char c : mixed) {
    AppendHexByte(result, static_cast<unsigned char>(c));
  }
  return result;
}

}  // namespace hta
