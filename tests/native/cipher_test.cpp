#include "crypto/cipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "fakes/fake_dialogs.h"
#include "fakes/fake_environment.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_profile.h"
#include "settings/ini_file.h"

namespace hta {
namespace {

using fakes::FakeDialogs;

template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

void ExpectOneCorruptionBox(const FakeDialogs& dialogs) {
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "Data string is corrupted.  Cannot be Decrypted.");
  EXPECT_EQ(dialogs.shown[0].caption, "Data corrupted");
  EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::Critical);
}

// ---------------------------------------------------------------------------
// Masks

TEST(CipherMaskTest, FirstTenPositions) {
  const int expected[] = {214, 231, 35, 192, 244, 71, 167, 252, 105, 138};
  for (std::size_t position = 1; position <= 10; ++position) {
    EXPECT_EQ(CipherMask(position), expected[position - 1]) << position;
  }
}

// ---------------------------------------------------------------------------
// HexDecode

TEST(HexDecodeTest, EachPairBecomesOneByteHighDigitFirstKeepingBlanksAndEmptyStaysEmpty) {
  FakeDialogs dialogs;
  EXPECT_EQ(HexDecode("41420a7F", dialogs), "AB\n\x7f");
  EXPECT_EQ(HexDecode("00FF", dialogs), Bytes("\0\xff"));
  EXPECT_EQ(HexDecode("41422020", dialogs), "AB  ");
  EXPECT_EQ(HexDecode("", dialogs), "");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST(HexDecodeTest, EveryByteValueDecodesInEitherCase) {
  FakeDialogs dialogs;
  static constexpr char kUpper[] = "0123456789ABCDEF";
  static constexpr char kLower[] = "0123456789abcdef";
  for (int value = 0; value < 256; ++value) {
    const std::string upper{kUpper[value >> 4], kUpper[value & 15]};
    const std::string lower{kLower[value >> 4], kLower[value & 15]};
    EXPECT_EQ(HexDecode(upper, dialogs), std::string(1, static_cast<char>(value))) << upper;
    EXPECT_EQ(HexDecode(lower, dialogs), std::string(1, static_cast<char>(value))) << lower;
  }
}

TEST(HexDecodeTest, NonHexPairsReadAsFarAsTheirDigitsGoWithoutAMessage) {
  FakeDialogs dialogs;
  EXPECT_EQ(HexDecode("1G", dialogs), Bytes("\x01"));
  EXPECT_EQ(HexDecode("f ", dialogs), Bytes("\x0f"));
  EXPECT_EQ(HexDecode("G1", dialogs), Bytes("\0"));
  EXPECT_EQ(HexDecode("zz", dialogs), Bytes("\0"));
  EXPECT_EQ(HexDecode(" 1", dialogs), Bytes("\0"));
  EXPECT_EQ(HexDecode(Bytes("\0\0"), dialogs), Bytes("\0"));
  EXPECT_EQ(HexDecode(Bytes("4\0") + "zz41", dialogs), Bytes("\x04\0A"));
  EXPECT_EQ(HexDecode("\xff\x80", dialogs), Bytes("\0"));
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST(HexDecodeTest, OddLengthIsReportedOnceAndGivesNothing) {
  for (const char* text : {"414", "A"}) {
    FakeDialogs dialogs;
    EXPECT_EQ(HexDecode(text, dialogs), "") << text;
    ExpectOneCorruptionBox(dialogs);
  }
}

// ---------------------------------------------------------------------------
// Decrypt and Encrypt

TEST(DecryptTest, KnownStoredForm) {
  // "AB" under key "k": 0x41 ^ 214 ^ 0x6B = 0xFC, 0x42 ^ 231 ^ 0x6B = 0xCE.
  FakeDialogs dialogs;
  EXPECT_EQ(Encrypt("AB", "k"), "FCCE");
  EXPECT_EQ(Decrypt("FCCE", "k", dialogs), "AB");
  EXPECT_EQ(Decrypt("fcce", "k", dialogs), "AB");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST(DecryptTest, EveryOneBytePasswordUnderEveryOneByteKeyRoundTrips) {
  FakeDialogs dialogs;
  for (int key = 0; key < 256; ++key) {
    const std::string keyText(1, static_cast<char>(key));
    for (int byte = 0; byte < 256; ++byte) {
      const std::string password(1, static_cast<char>(byte));
      const std::string stored = Encrypt(password, keyText);
      ASSERT_EQ(stored.size(), 2u);
      ASSERT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos) << stored;
      ASSERT_EQ(Decrypt(stored, keyText, dialogs), password) << byte << " under " << key;
    }
  }
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST(DecryptTest, EmptyCipherTextOrEmptyKeyGivesEmptyTextSilently) {
  FakeDialogs dialogs;
  EXPECT_EQ(Decrypt("", "key", dialogs), "");
  EXPECT_EQ(Decrypt("", "", dialogs), "");
  EXPECT_EQ(Decrypt("FCCE", "", dialogs), "");
  EXPECT_EQ(Encrypt("AB", ""), "");
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST(DecryptTest, OddLengthIsReportedOnceAndGivesEmptyText) {
  FakeDialogs dialogs;
  EXPECT_EQ(Decrypt("FCC", "k", dialogs), "");
  ExpectOneCorruptionBox(dialogs);
}

TEST(DecryptTest, TrailingBlanksAndNulBytesArePartOfThePassword) {
  FakeDialogs dialogs;
  for (const std::string& password : {std::string("secret "), Bytes("a\0b\0")}) {
    EXPECT_EQ(Decrypt(Encrypt(password, "key"), "key", dialogs), password);
  }
  // A cipher text whose last decoded byte is a blank still gives one
  // character per pair.
  EXPECT_EQ(Decrypt("FC20", "k", dialogs).size(), 2u);
}

// Key character n serves text position n, and a key longer than the text is
// used only as far as the text.
TEST(DecryptTest, KeyRepeatsFromItsFirstCharacter) {
  FakeDialogs dialogs;
  const std::string stored = "0123456789ABCDEF0123";
  EXPECT_EQ(Decrypt(stored, "ab", dialogs), Decrypt(stored, "ababababab", dialogs));
  EXPECT_EQ(Decrypt(stored, "ab", dialogs), Decrypt(stored, "ababababab and more", dialogs));
  // Changing the tenth changes only the tenth byte of a ten-byte text.
  const std::string plain = Decrypt(stored, "ab", dialogs);
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
  ASSERT_EQ(stored.size(), 200000u);
  FakeDialogs dialogs;
  EXPECT_EQ(Decrypt(stored, "a key of some length", dialogs), password);
  EXPECT_TRUE(dialogs.shown.empty());
}

// ---------------------------------------------------------------------------
// Through the INI file, as the start-up reads the stored password

class StoredPasswordTest : public ::testing::Test {
 protected:
  fakes::FakeFileSystem files;
  fakes::FakeProfile profile{files};
  fakes::FakeEnvironment environment;
  cIniFile ini{profile, files, environment};
  FakeDialogs dialogs;
};

TEST_F(StoredPasswordTest, AStoredValueOf1024CharactersIsCutToAnOddLengthAndReported) {
  const std::string stored = Encrypt(std::string(512, 'p'), "key");
  ASSERT_EQ(stored.size(), 1024u);
  files.Put(ini.FileName(), "[proxy]\r\nProxyPass=" + stored + "\r\n");
  const std::string read = ini.Setting("proxy", "ProxyPass", "");
  EXPECT_EQ(read.size(), 1023u);
  EXPECT_EQ(Decrypt(read, "key", dialogs), "");
  ExpectOneCorruptionBox(dialogs);
}

TEST_F(StoredPasswordTest, TheLongestValueThatFitsDecryptsWhole) {
  const std::string password(511, 'p');
  files.Put(ini.FileName(), "[proxy]\r\nProxyPass=" + Encrypt(password, "key") + "\r\n");
  EXPECT_EQ(Decrypt(ini.Setting("proxy", "ProxyPass", ""), "key", dialogs), password);
  EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace hta
