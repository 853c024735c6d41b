// HexDecode, Decrypt and Encrypt over arbitrary bytes. The first byte gives
// the key's length, the key follows, the rest is the cipher text. Besides
// the sanitizers, the fuzzer checks the properties the start-up relies on.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "crypto/cipher.h"

namespace {

class CountingDialogs final : public hta::Dialogs {
 public:
  void ShowMessage(const std::string&, const std::string&, hta::MessageIcon) override { ++shown; }
  int shown = 0;
};

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

  // One character per pair; an odd length is reported once and gives nothing.
  CountingDialogs decodeDialogs;
  const std::string decoded = hta::HexDecode(text, decodeDialogs);
  if (text.size() % 2 != 0) {
    Check(decoded.empty() && decodeDialogs.shown == 1);
  } else {
    Check(decoded.size() == text.size() / 2 && decodeDialogs.shown == 0);
  }

  CountingDialogs decryptDialogs;
  const std::string plain = hta::Decrypt(text, key, decryptDialogs);
  Check(decryptDialogs.shown == decodeDialogs.shown);
  if (key.empty()) {
    Check(plain.empty());
    return 0;
  }
  Check(plain.size() == decoded.size());

  // Encrypting the plain text again gives the decoded bytes back, written in
  // upper-case digits.
  const std::string stored = hta::Encrypt(plain, key);
  CountingDialogs again;
  Check(hta::HexDecode(stored, again) == decoded && again.shown == 0);
  Check(stored.find_first_not_of("0123456789ABCDEF") == std::string::npos);

  // Any bytes survive a round trip, whatever their length.
  Check(hta::Decrypt(hta::Encrypt(text, key), key, again) == text && again.shown == 0);
  return 0;
}
