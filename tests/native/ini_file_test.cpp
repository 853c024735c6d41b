// cIniFile over a fake profile, for what the real profile calls under Wine
// (tests/windows/ini_file_test.cpp: reads, writes, deletes, the 1023 and 8190
// character cuts, counts) cannot show: the file name at a drive's root, that
// nothing is cached, lists and counts the platform never produces, every kind
// of line end, and counts and lines past 16 bits.
#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fakes/fake_environment.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_profile.h"

namespace hta {
namespace {

using fakes::FakeEnvironment;
using fakes::FakeFileSystem;
using fakes::FakeProfile;
using Names = std::vector<std::string>;

// A text with its embedded NULs, from a literal.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

class IniFileTest : public ::testing::Test {
 protected:
  void Write(const std::string& bytes) { files.Put(ini.FileName(), bytes); }

  FakeFileSystem files;
  FakeProfile profile{files};
  FakeEnvironment environment;
  cIniFile ini{profile, files, environment};
};

// A profile port that answers every read with a fixed text and count, to
// feed cIniFile lists and counts the platform would never produce.
class ScriptedProfile final : public ProfileCalls {
 public:
  std::size_t ProfileRead(const char*, const char*, const char*, std::span<char> buffer,
                          const char*) override {
    std::copy_n(answer.data(), std::min(answer.size(), buffer.size()), buffer.data());
    return reportedCount;
  }
  bool ProfileWrite(const char*, const char*, const char*, const char*) override { return true; }

  std::string answer;
  std::size_t reportedCount = 0;
};

// The shell gives a drive's root with its backslash, every other folder
// without one.
TEST(IniFileNameTest, AtADrivesRootTheFileNameHasOneBackslash) {
  FakeFileSystem files;
  FakeProfile profile{files};
  FakeEnvironment environment{"C:\\", "MyLauncher"};
  cIniFile ini{profile, files, environment};
  EXPECT_EQ(ini.FileName(), "C:\\MyLauncher.ini");
}

TEST_F(IniFileTest, EveryReadAndEveryCountGoesToTheFileAfresh) {
  Write("[s]\r\nk=one\r\n");
  EXPECT_EQ(ini.Setting("s", "k"), "one");
  EXPECT_EQ(ini.TotalSections(), 1);
  Write("[s]\r\nk=two\r\n[t]\r\n");
  EXPECT_EQ(ini.Setting("s", "k"), "two");
  EXPECT_EQ(ini.TotalSections(), 2);
}

TEST(IniFilePortTest, KeyListsSplitAtEveryNulAndACountBeyondTheBufferIsNotReadPast) {
  FakeFileSystem files;
  ScriptedProfile profile;
  FakeEnvironment environment;
  cIniFile ini{profile, files, environment};
  Names names;
  std::int32_t count = -1;

  profile.answer = Bytes("a\0\0b\0cut");
  profile.reportedCount = 8;
  ini.EnumerateSection("s", names, count);
  EXPECT_EQ(names, (Names{"a", "", "b"}));
  EXPECT_EQ(count, 3);

  profile.answer = "nonul";
  profile.reportedCount = 5;
  ini.EnumerateSection("s", names, count);
  EXPECT_EQ(names, Names{});
  EXPECT_EQ(count, 0);

  profile.answer = std::string(2000, 'x');
  profile.reportedCount = 5000;
  EXPECT_EQ(ini.Setting("s", "k").size(), 1024u);
  ini.EnumerateSection("s", names, count);
  EXPECT_EQ(count, 0);
}

TEST_F(IniFileTest, CountsSeeEveryKindOfLineEnd) {
  // Each text would count differently if the line end in question were not
  // one: "[a]\nk=1" read as one line is a key and no header.
  struct Case {
    const char* name;
    std::string text;
    std::int32_t sections;
    std::int32_t keys;
  };
  const Case cases[] = {{"Empty", "", 0, 0},
                        {"CrLfCrLfAndCrAtTheVeryEnd", "[a]\r\nk=1\r[b]\nk=2\r", 2, 2},
                        {"LfThenCrIsTwoEnds", "[a]\n\r[b]\n\rk=1", 2, 1},
                        {"NulIsNotALineEnd", Bytes("[a\0]\r\nk\0=\0\r\n"), 1, 1},
                        {"NoLineEndAtAll", "[only]", 1, 0}};
  for (const Case& c : cases) {
    Write(c.text);
    EXPECT_EQ(ini.TotalSections(), c.sections) << c.name;
    EXPECT_EQ(ini.TotalKeys(), c.keys) << c.name;
  }
}

// 70000 lines of each kind (past 16 bits, signed or not), then a key line
// and a header line of 40000 characters each.
TEST_F(IniFileTest, CountsAndLinesGoPast16Bits) {
  std::string text;
  for (int i = 0; i < 70000; ++i) {
    text += "[s]\nk=v\r";
  }
  text += std::string(39999, 'x') + "=\r\n[" + std::string(39998, 's') + "]";
  Write(text);
  EXPECT_EQ(ini.TotalKeys(), 70001);
  EXPECT_EQ(ini.TotalSections(), 70001);
}

TEST(IniLineTest, IsSectionNeedsBracketsAtBothVeryEndsAndIsKeyAnEqualsSignAnywhere) {
  for (const char* line : {"[]", "[a] b]"}) {
    EXPECT_TRUE(cIniFile::IsSection(line)) << line;
  }
  for (const char* line : {"", "[", "[proxy] ", "[proxy] ; note"}) {
    EXPECT_FALSE(cIniFile::IsSection(line)) << line;
  }
  for (const std::string& line : {std::string("="), std::string("[a=b]"), Bytes("\0\0=")}) {
    EXPECT_TRUE(cIniFile::IsKey(line)) << line;
  }
  for (const char* line : {"", "[proxy]"}) {
    EXPECT_FALSE(cIniFile::IsKey(line)) << line;
  }
}

}  // namespace
}  // namespace hta
