// The credential cipher: the masks and a known stored form (so passwords
// stored before stay readable), round trips, the quirks of corrupted hex,
// and "Data corrupted". A stored value too long for the INI read is shown
// over the real profile calls in tests/windows/ini_file_test.cpp.
#include "crypto/cipher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fakes/fake_dialogs.h"

namespace hta {
namespace {

using fakes::FakeDialogs;

template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

TEST(HexDecodeTest, NonHexPairsReadAsFarAsTheirDigitsGoWithoutAMessage) {
  FakeDialogs dialogs;
  EXPECT_EQ(HexDecode("1G", dialogs), Bytes("\x01"));
  EXPECT_EQ(HexDecode("G1", dialogs), Bytes("\0"));
  EXPECT_EQ(HexDecode("\xff\x80", dialogs), Bytes("\0"));
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST(DecryptTest, KnownStoredForm) {
  // "AB" under key "k": 0x41 ^ 214 ^ 0x6B = 0xFC, 0x42 ^ 231 ^ 0x6B = 0xCE.
  FakeDialogs dialogs;
  EXPECT_EQ(Encrypt("AB", "k"), "FCCE");
  EXPECT_EQ(Decrypt("fcce", "k", dialogs), "AB");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST(DecryptTest, EmptyKeyGivesEmptyTextSilently) {
  FakeDialogs dialogs;
  EXPECT_EQ(Decrypt("FCCE", "", dialogs), "");
  EXPECT_EQ(Encrypt("AB", ""), "");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST(DecryptTest, OddLengthIsReportedOnceAsCorruptedAndGivesEmptyText) {
  FakeDialogs dialogs;
  EXPECT_EQ(Decrypt("FCC", "k", dialogs), "");
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "Data string is corrupted.  Cannot be Decrypted.");
  EXPECT_EQ(dialogs.shown[0].caption, "Data corrupted");
  EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::Critical);
}

TEST(DecryptTest, TrailingBlanksAndNulBytesArePartOfThePassword) {
  FakeDialogs dialogs;
  for (const std::string& password : {std::string("secret "), Bytes("a\0b\0")}) {
    EXPECT_EQ(Decrypt(Encrypt(password, "key"), "key", dialogs), password);
  }
}

// Key character n serves text position n, and a key longer than the text is
// used only as far as the text.
TEST(DecryptTest, KeyRepeatsFromItsFirstCharacter) {
  FakeDialogs dialogs;
  const std::string stored = "0123456789ABCDEF0123";
  const std::string plain = Decrypt(stored, "ab", dialogs);
  EXPECT_EQ(Decrypt(stored, "ababababab and more", dialogs), plain);
  // Changing the tenth changes only the tenth byte of a ten-byte text.
  const std::string changed = Decrypt(stored, "ababababaX", dialogs);
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
  FakeDialogs dialogs;
  EXPECT_EQ(Decrypt(stored, "a key of some length", dialogs), password);
}

}  // namespace
}  // namespace hta
