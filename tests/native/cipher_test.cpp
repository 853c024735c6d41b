// The credential cipher: the masks and a known stored form (so passwords
// stored before stay readable), round trips, the quirks of corrupted hex,
// and corrupted texts. A stored value too long for the INI read is shown
// over the real profile calls in tests/windows/ini_file_test.cpp.
#include "crypto/cipher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace hta {
namespace {

template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// A pair is read as far as its digits go; one not starting with a digit
// (a byte above 127 included) is 0.
TEST(HexDecodeTest, NonHexPairsReadAsFarAsTheirDigitsGo) {
  EXPECT_EQ(HexDecode("1G"), Bytes("\x01"));
  EXPECT_EQ(HexDecode("G1"), Bytes("\0"));
  EXPECT_EQ(HexDecode("\xff\x80"), Bytes("\0"));
}

// An empty key gives an empty text silently; an odd length is corrupted.
TEST(DecryptTest, ReadsTheStoredForm) {
  // "AB" under key "k": 0x41 ^ 214 ^ 0x6B = 0xFC, 0x42 ^ 231 ^ 0x6B = 0xCE.
  EXPECT_EQ(Encrypt("AB", "k"), "FCCE");
  EXPECT_EQ(Decrypt("fcce", "k"), "AB");
  EXPECT_EQ(Decrypt("FCCE", ""), "");
  EXPECT_EQ(Encrypt("AB", ""), "");
  EXPECT_EQ(Decrypt("FCC", "k"), std::nullopt);
  EXPECT_EQ(Decrypt("FCC", ""), std::nullopt);
}

TEST(DecryptTest, EveryByteIsPartOfThePassword) {
  for (const std::string& password : {std::string("secret "), Bytes("a\0b\0")}) {
    EXPECT_EQ(Decrypt(Encrypt(password, "key"), "key"), password);
  }
}

// Key character n serves text position n, and a key longer than the text is
// used only as far as the text.
TEST(DecryptTest, KeyRepeatsFromItsFirstCharacter) {
  const std::string stored = "0123456789ABCDEF0123";
  const std::string plain = *Decrypt(stored, "ab");
  EXPECT_EQ(Decrypt(stored, "ababababab and more"), plain);
  // Changing the tenth changes only the tenth byte of a ten-byte text.
  const std::string changed = *Decrypt(stored, "ababababaX");
  ASSERT_EQ(plain.size(), 10u);
  EXPECT_EQ(changed.substr(0, 9), plain.substr(0, 9));
  EXPECT_NE(changed[9], plain[9]);
}

TEST(DecryptTest, TextsBeyond32766CharactersDecrypt) {
  std::mt19937 random(20261206);
  std::string password(100000, '\0');
  for (char& c : password) {
    c = static_cast<char>(random() & 0xFF);
  }
  const std::string stored = Encrypt(password, "a key of some length");
  EXPECT_EQ(Decrypt(stored, "a key of some length"), password);
}

}  // namespace
}  // namespace hta
