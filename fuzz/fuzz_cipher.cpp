// HexDecode, Decrypt and Encrypt over arbitrary bytes. The first byte gives
// the key's length, the key follows, the rest is the cipher text. Besides
// the sanitizers, the fuzzer checks the properties the start-up relies on.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "crypto/cipher.h"

namespace {

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t keyLength = std::min<std::size_t>(data[0], size - 1);
  const std::string_view key = input.substr(1, keyLength);
  const std::string_view text = input.substr(1 + keyLength);

  // One character per pair; an odd length is corrupted and gives nothing.
  const std::optional<std::string> decoded = hta::HexDecode(text);
  Check(decoded.has_value() == (text.size() % 2 == 0));
  const std::optional<std::string> plain = hta::Decrypt(text, key);
  Check(plain.has_value() == decoded.has_value());
  if (!decoded) {
    return 0;
  }
  Check(decoded->size() == text.size() / 2);
  if (key.empty()) {
    Check(plain->empty());
    return 0;
  }
  Check(plain->size() == decoded->size());

  // Encrypting the plain text again gives the decoded bytes back, written in
  // upper-case digits.
  const std::string stored = hta::Encrypt(*plain, key);
  Check(hta::HexDecode(stored) == decoded);
  Check(stored.find_first_not_of("0123456789ABCDEF") == std::string::npos);

  // Any bytes survive a round trip, whatever their length.
  Check(hta::Decrypt(hta::Encrypt(text, key), key) == text);
  return 0;
}
