// The rule that keeps the server's file names inside the application folder.
#include "client/file_names.h"

#include <gtest/gtest.h>

#include <string>

namespace hta {
namespace {

// Names close to a refused one, and bytes above 127.
TEST(PlainFileNameTest, OrdinaryNamesPass) {
  for (const char* name : {"App 1.hta", "-_~!$'()+,;=@[]{}.hta", "con1.hta", "console.hta", "com10.hta",
                           "lpt0.hta", "aux-x", ".hta", "a..b", "\xE9t\xE9.hta"}) {
    EXPECT_TRUE(IsPlainFileName(name)) << name;
  }
}

// Separators, drives and streams; empty, dot, dot-dot and a trailing dot or
// blank; device names in any case, with or without extension (Windows looks
// at the part before the first dot, without trailing blanks).
TEST(PlainFileNameTest, OnlyPlainNamesAreAccepted) {
  for (const char* name : {"..\\a.hta",  "sub/a.hta",
                           "C:a.hta",    "a.hta:Zone.Identifier",
                           "",           ".",
                           "..",         "a.hta.",
                           "a.hta ",     "con",
                           "Prn",        "aux",
                           "NUL.tar.gz", "con .hta",
                           "COM1",       "lpt9.hta",
                           "CONIN$",     "conout$.txt",
                           "COM\xB9",    "lpt\xB2.hta",
                           "LPT\xB3",    "com\xC2\xB9.hta"}) {
    EXPECT_FALSE(IsPlainFileName(name)) << name;
  }
}

TEST(PlainFileNameTest, ControlCharactersAreRefused) {
  for (int c = 1; c < 0x20; ++c) {
    EXPECT_FALSE(IsPlainFileName("a" + std::string(1, static_cast<char>(c)) + ".hta")) << c;
  }
  EXPECT_FALSE(IsPlainFileName(std::string("a\0.hta", 6)));
  EXPECT_FALSE(IsPlainFileName("a\x7F.hta"));
}

}  // namespace
}  // namespace hta
