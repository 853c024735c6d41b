#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>
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

constexpr const char* kIniPath = "C:\\Program Files\\HTA Launcher\\Launcher.ini";

class IniFileTest : public ::testing::Test {
 protected:
  void Write(const std::string& bytes) { files.Put(kIniPath, bytes); }

  // The names listed, checked against the count given with them.
  Names Enumerate(const std::string& section) {
    Names names{"left over"};
    std::int32_t iCount = -1;
    ini.EnumerateSection(section, names, iCount);
    EXPECT_EQ(static_cast<std::size_t>(iCount), names.size());
    return names;
  }

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

// ---------------------------------------------------------------------------
// The file name

// The program's folder as the platform gives it, with or without its final
// backslash.
TEST(IniFileNameTest, TheFileLiesBesideTheExecutableWithOneBackslash) {
  for (const auto& [folder, program, expected] :
       {std::tuple{"C:\\Program Files\\HTA Launcher", "Launcher", kIniPath},
        {"C:\\", "Launcher", "C:\\Launcher.ini"},
        {"D:\\Tools\\hta", "MyLauncher", "D:\\Tools\\hta\\MyLauncher.ini"}}) {
    FakeFileSystem files;
    FakeProfile profile{files};
    FakeEnvironment environment{folder, program};
    cIniFile ini{profile, files, environment};
    EXPECT_EQ(ini.FileName(), std::string(expected)) << folder;
  }
}

TEST_F(IniFileTest, WriteFormOfFileNameRedirectsEveryMember) {
  Write("[s]\r\nk=beside\r\n");
  files.Put("C:\\other.ini", "[s]\r\nk=other\r\n[t]\r\n[u]\r\n");
  ini.FileName("C:\\other.ini");
  EXPECT_EQ(ini.Setting("s", "k"), "other");
  EXPECT_EQ(ini.TotalSections(), 3);
  EXPECT_EQ(ini.TotalKeys(), 1);
  ini.Setting("s", "n", "", "new");
  EXPECT_EQ(files.Contents("C:\\other.ini"), "[s]\r\nk=other\r\nn=new\r\n[t]\r\n[u]\r\n");
  EXPECT_EQ(files.Contents(kIniPath), "[s]\r\nk=beside\r\n");
}

// ---------------------------------------------------------------------------
// Setting, read form

TEST_F(IniFileTest, MissingKeySectionOrFileGivesTheDefaultButAnEmptyValueReadsEmpty) {
  for (const char* key : {"ProxyServer", "ProxyPort", "ProxyUser", "ProxyPass"}) {
    EXPECT_EQ(ini.Setting("proxy", key, ""), "") << key;
  }
  EXPECT_EQ(ini.Setting("proxy", "ProxyPort", "8080"), "8080");
  EXPECT_FALSE(files.Exists(kIniPath));
  Write("[proxy]\r\nProxyServer=gate\r\nProxyUser=\r\nProxyPass=   \r\n");
  EXPECT_EQ(ini.Setting("proxy", "ProxyPort", "8080"), "8080");
  EXPECT_EQ(ini.Setting("other", "ProxyServer", "none"), "none");
  EXPECT_EQ(ini.Setting("proxy", "ProxyServer", "none"), "gate");
  EXPECT_EQ(ini.Setting("proxy", "ProxyPort"), "");  // the omitted default is empty
  EXPECT_EQ(ini.Setting("proxy", "ProxyUser", "fallback"), "");
  EXPECT_EQ(ini.Setting("proxy", "ProxyPass", "fallback"), "");
}

TEST_F(IniFileTest, ValuesAreReadThroughA1024CharacterBufferSoCutTo1023Characters) {
  std::string value;
  for (int i = 0; i < 1500; ++i) {
    value.push_back(static_cast<char>('a' + i % 26));
  }
  Write("[s]\r\nk1023=" + value.substr(0, 1023) + "\r\nk1024=" + value.substr(0, 1024) +
        "\r\nk1500=" + value + "\r\n");
  for (const int length : {1023, 1024, 1500}) {
    EXPECT_EQ(ini.Setting("s", "k" + std::to_string(length)), value.substr(0, 1023)) << length;
  }
  EXPECT_EQ(profile.calls.back().bufferSize, 1024u);
}

TEST_F(IniFileTest, EveryReadAndEveryCountGoesToTheFileAfresh) {
  Write("[s]\r\nk=one\r\n");
  EXPECT_EQ(ini.Setting("s", "k"), "one");
  EXPECT_EQ(ini.TotalSections(), 1);
  Write("[s]\r\nk=two\r\n[t]\r\n");
  EXPECT_EQ(ini.Setting("s", "k"), "two");
  EXPECT_EQ(ini.TotalSections(), 2);
}

// Lists and counts the platform would never produce.
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

// ---------------------------------------------------------------------------
// Setting, write form; DeleteItem; ProfileDeleteSection

TEST_F(IniFileTest, WriteCreatesTheFileIgnoresItsDefaultAndKeepsTheOtherKeys) {
  ini.Setting("s", "a", "the default", "first");
  EXPECT_EQ(files.Contents(kIniPath), "[s]\r\na=first\r\n");
  Write("[s]\r\na=1\r\nb=2\r\n[t]\r\na=3\r\n");
  ini.Setting("s", "a", "", "one");
  EXPECT_EQ(files.Contents(kIniPath), "[s]\r\na=one\r\nb=2\r\n[t]\r\na=3\r\n");
}

TEST_F(IniFileTest, DeletesRemoveOnlyTheirKeyOrSectionAndCreateNoFile) {
  ini.DeleteItem("s", "k");
  ini.ProfileDeleteSection("s");
  EXPECT_FALSE(files.Exists(kIniPath));
  Write("[s]\r\na=1\r\nb=2\r\n[t]\r\na=3\r\n[u]\r\nc=4\r\n");
  ini.DeleteItem("s", "a");
  ini.ProfileDeleteSection("u");
  EXPECT_EQ(files.Contents(kIniPath), "[s]\r\nb=2\r\n[t]\r\na=3\r\n");
  EXPECT_EQ(ini.Setting("s", "a", "gone"), "gone");
}

// ---------------------------------------------------------------------------
// EnumerateSection

TEST_F(IniFileTest, EnumerateListsKeysInFileOrderAndNothingForAMissingSectionOrFile) {
  EXPECT_EQ(Enumerate("s"), Names{});
  Write("[x]\r\nz=0\r\n[s]\r\na=1\r\nb=2\r\n[empty]\r\n");
  EXPECT_EQ(Enumerate("s"), (Names{"a", "b"}));
  EXPECT_EQ(Enumerate("t"), Names{});
  EXPECT_EQ(Enumerate("empty"), Names{});
}

// Key names of `length` characters: "key", then the number padded with zeros.
std::string NumberedName(int number, std::size_t length) {
  std::string digits = std::to_string(number);
  return "key" + std::string(length - 3 - digits.size(), '0') + digits;
}

TEST_F(IniFileTest, KeyListsBeyond8192CharactersListOnlyTheCompleteNames) {
  // The call keeps the first 8190 characters. At 16 characters a name with
  // its NUL, that is 511 complete names and 14 characters of the next one,
  // which has no NUL after it and is left out; at 10, exactly 819 names,
  // the last one's NUL being the last character kept.
  const std::pair<std::size_t, std::size_t> cases[] = {{15, 511}, {9, 819}};
  for (const auto& [length, listed] : cases) {
    std::string text = "[big]\r\n";
    Names all;
    for (int i = 0; i < 900; ++i) {
      all.push_back(NumberedName(i, length));
      text += all.back() + "=1\r\n";
    }
    Write(text);
    EXPECT_EQ(Enumerate("big"), Names(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(listed)))
        << length;
    EXPECT_EQ(profile.calls.back().bufferSize, 8192u);
  }
}

// ---------------------------------------------------------------------------
// TotalKeys and TotalSections

TEST_F(IniFileTest, CountsFollowTheirOwnLineRulesNotTheProfileCalls) {
  // A header, a key, a comment holding "=", a header behind a blank, a header.
  Write("[proxy]\r\nProxyServer=gate\r\n; port = 8080\r\n [indented]\r\n[other]\r\n");
  EXPECT_EQ(ini.TotalSections(), 2);
  EXPECT_EQ(ini.TotalKeys(), 2);
}

TEST_F(IniFileTest, CountsOfAFileThatCannotBeOpenedAreReportedAsSuchButAnEmptyFileCountsZero) {
  EXPECT_EQ(ini.TotalKeys(), std::nullopt);
  EXPECT_EQ(ini.TotalSections(), std::nullopt);
  Write("");
  EXPECT_EQ(ini.TotalKeys(), 0);
  EXPECT_EQ(ini.TotalSections(), 0);
  Write("[s]\r\nk=1\r\n");
  files.MarkUnreadable(kIniPath);
  EXPECT_EQ(ini.TotalKeys(), std::nullopt);
  EXPECT_EQ(ini.TotalSections(), std::nullopt);
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
  const Case cases[] = {{"CrLf", "[a]\r\nk=1\r\n[b]\r\nk=2\r\n", 2, 2},
                        {"CrOnly", "[a]\rk=1\r[b]\rk=2\r", 2, 2},
                        {"LfOnly", "[a]\nk=1\n[b]\nk=2\n", 2, 2},
                        {"LoneLfEndsAHeader", "[a]\nk=1", 1, 1},
                        {"Mixed", "[a]\r\nk=1\r[b]\nk=2\r\n", 2, 2},
                        {"LfThenCrIsTwoEnds", "[a]\n\r[b]\n\rk=1", 2, 1},
                        {"NoFinalLineEnd", "[a]\r\nk=1\r\n[b]", 2, 1},
                        {"OnlyLineEnds", "\r\n\r\n\n\r\r", 0, 0},
                        {"NulIsNotALineEnd", Bytes("[a\0]\r\nk\0=\0\r\n"), 1, 1},
                        {"NoLineEndAtAll", "[only]", 1, 0}};
  for (const Case& c : cases) {
    Write(c.text);
    EXPECT_EQ(ini.TotalSections(), c.sections) << c.name;
    EXPECT_EQ(ini.TotalKeys(), c.keys) << c.name;
  }
}

TEST_F(IniFileTest, CountersDoNotStopAt16Bits) {
  std::string keys;
  for (int i = 0; i < 40000; ++i) {
    keys += "k=v\r\n";
  }
  std::string sections;
  for (int i = 0; i < 70000; ++i) {
    sections += "[s]\n";
  }
  Write(keys + sections);
  EXPECT_EQ(ini.TotalKeys(), 40000);
  EXPECT_EQ(ini.TotalSections(), 70000);
}

TEST_F(IniFileTest, A40000CharacterLineIsScannedToItsEnd) {
  const std::string key = std::string(39999, 'x') + "=";
  const std::string header = "[" + std::string(39998, 's') + "]";
  EXPECT_TRUE(cIniFile::IsKey(key));
  EXPECT_TRUE(cIniFile::IsSection(header));
  Write(key + "\r\n" + header + "\r\n" + std::string(40000, 'y'));
  EXPECT_EQ(ini.TotalKeys(), 1);
  EXPECT_EQ(ini.TotalSections(), 1);
}

// ---------------------------------------------------------------------------
// IsKey and IsSection

TEST(IniLineTest, IsSectionNeedsBracketsAtBothVeryEndsAndIsKeyAnEqualsSignAnywhere) {
  for (const char* line : {"[proxy]", "[]", "[a] b]"}) {
    EXPECT_TRUE(cIniFile::IsSection(line)) << line;
  }
  for (const char* line : {"[", "]", "", " [proxy]", "[proxy] ", "[proxy] ; note", "[proxy", "proxy]"}) {
    EXPECT_FALSE(cIniFile::IsSection(line)) << line;
  }
  for (const std::string& line :
       {std::string("="), std::string("k=v"), std::string("; comment = with equals"), std::string("[a=b]"),
        Bytes("\0\0=")}) {
    EXPECT_TRUE(cIniFile::IsKey(line)) << line;
  }
  for (const char* line : {"", "no equals sign", "[proxy]"}) {
    EXPECT_FALSE(cIniFile::IsKey(line)) << line;
  }
}

// ---------------------------------------------------------------------------
// The profile fake itself: cIniFile's tests above are only as good as its
// likeness to the platform, so the behaviour seen on the real calls is
// pinned here.

TEST_F(IniFileTest, FakeTrimsMatchesWithoutCaseAndListsKeysButNotCommentsOrStrayLines) {
  Write("  [ Proxy ]  \r\n  Server =  gate  \r\nstray line\r\n;c=2\r\nquoted=\"  q  \"\r\n");
  EXPECT_EQ(ini.Setting("PROXY", "server"), "gate");
  EXPECT_EQ(ini.Setting(" proxy ", " SERVER "), "gate");
  EXPECT_EQ(ini.Setting("proxy", "quoted"), "  q  ");
  EXPECT_EQ(ini.Setting("proxy", "missing", "dflt   "), "dflt");
  EXPECT_EQ(ini.Setting("proxy", "stray line", "none"), "none");
  EXPECT_EQ(Enumerate("proxy"), (Names{"Server", "quoted"}));
}

TEST(FakeProfileTest, KeyListCutRuleMatchesThePlatform) {
  FakeFileSystem files;
  FakeProfile profile{files};
  files.Put("f.ini", "[s]\r\naaa=1\r\nbbb=2\r\nccc=3\r\n");
  // Buffer size -> returned count, as the platform answers.
  const std::size_t expected[][2] = {{2, 0},   {3, 1},   {5, 3},   {6, 4},  {9, 7},
                                     {12, 10}, {13, 11}, {14, 12}, {40, 12}};
  for (const auto& [size, count] : expected) {
    std::vector<char> buffer(size, '#');
    EXPECT_EQ(profile.ProfileRead("s", nullptr, "", buffer, "f.ini"), count) << size;
    EXPECT_EQ(buffer[count], '\0') << size;
  }
}

TEST(FakeProfileTest, WritesEditTheFileInPlace) {
  FakeFileSystem files;
  FakeProfile profile{files};
  files.Put("f.ini", "; head\r\n[s]\r\nk1=a\r\n\r\n[t]\nx=1");
  EXPECT_TRUE(profile.ProfileWrite("s", "k2", "b", "f.ini"));
  EXPECT_TRUE(profile.ProfileWrite("S", "K1", "A", "f.ini"));
  EXPECT_TRUE(profile.ProfileWrite("t", "y", "2", "f.ini"));
  EXPECT_TRUE(profile.ProfileWrite("new", "n", "v", "f.ini"));
  EXPECT_EQ(files.Contents("f.ini"),
            "; head\r\n[s]\r\nk1=A\r\nk2=b\r\n\r\n[t]\nx=1\r\ny=2\r\n[new]\r\nn=v\r\n");
  EXPECT_TRUE(profile.ProfileWrite("s", nullptr, nullptr, "f.ini"));
  EXPECT_TRUE(profile.ProfileWrite("t", "x", nullptr, "f.ini"));
  EXPECT_EQ(files.Contents("f.ini"), "; head\r\n[t]\ny=2\r\n[new]\r\nn=v\r\n");
  files.MarkUnreadable("f.ini");
  EXPECT_FALSE(profile.ProfileWrite("t", "x", "1", "f.ini"));
}

}  // namespace
}  // namespace hta
