#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <tuple>
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

  Names Enumerate(const std::string& section, std::int32_t* count = nullptr) {
    Names names{"left over"};
    std::int32_t iCount = -1;
    ini.EnumerateSection(section, names, iCount);
    EXPECT_EQ(static_cast<std::size_t>(iCount), names.size());
    if (count != nullptr) {
      *count = iCount;
    }
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

TEST_F(IniFileTest, DefaultFileLiesBesideTheExecutable) {
  EXPECT_EQ(ini.FileName(), kIniPath);
}

// The program's folder as the platform gives it, with or without its final
// backslash.
TEST(IniFileNameTest, FolderAndProgramNameGiveTheFileNameWithOneBackslash) {
  for (const auto& [folder, program, expected] :
       {std::tuple{"C:\\", "Launcher", "C:\\Launcher.ini"},
        std::tuple{"D:\\Tools\\hta", "MyLauncher", "D:\\Tools\\hta\\MyLauncher.ini"}}) {
    FakeFileSystem files;
    FakeProfile profile{files};
    FakeEnvironment environment{folder, program};
    cIniFile ini{profile, files, environment};
    EXPECT_EQ(ini.FileName(), expected) << folder;
  }
}

TEST_F(IniFileTest, WriteFormOfFileNameRedirectsEveryMember) {
  Write("[s]\r\nk=beside\r\n");
  files.Put("C:\\other.ini", "[s]\r\nk=other\r\n[t]\r\n[u]\r\n");
  ini.FileName("C:\\other.ini");
  EXPECT_EQ(ini.FileName(), "C:\\other.ini");
  EXPECT_EQ(ini.Setting("s", "k"), "other");
  EXPECT_EQ(ini.TotalSections(), 3);
  EXPECT_EQ(ini.TotalKeys(), 1);
  ini.Setting("s", "n", "", "new");
  EXPECT_EQ(files.Contents("C:\\other.ini"), "[s]\r\nk=other\r\nn=new\r\n[t]\r\n[u]\r\n");
  EXPECT_EQ(files.Contents(kIniPath), "[s]\r\nk=beside\r\n");
}

// ---------------------------------------------------------------------------
// Setting, read form

TEST_F(IniFileTest, WithoutAFileTheFourProxyKeysReadEmpty) {
  for (const char* key : {"ProxyServer", "ProxyPort", "ProxyUser", "ProxyPass"}) {
    EXPECT_EQ(ini.Setting("proxy", key, ""), "") << key;
  }
  EXPECT_FALSE(files.Exists(kIniPath));
}

TEST_F(IniFileTest, MissingKeySectionOrFileGivesTheDefault) {
  EXPECT_EQ(ini.Setting("proxy", "ProxyPort", "8080"), "8080");
  Write("[proxy]\r\nProxyServer=gate\r\n");
  EXPECT_EQ(ini.Setting("proxy", "ProxyPort", "8080"), "8080");
  EXPECT_EQ(ini.Setting("other", "ProxyServer", "none"), "none");
  EXPECT_EQ(ini.Setting("proxy", "ProxyServer", "none"), "gate");
}

TEST_F(IniFileTest, OmittedDefaultIsEmpty) {
  Write("[proxy]\r\n");
  EXPECT_EQ(ini.Setting("proxy", "ProxyServer"), "");
  ASSERT_FALSE(profile.calls.empty());
  EXPECT_EQ(profile.calls.back().valueOrDefault, "");
}

TEST_F(IniFileTest, EmptyValueReadsEmptyEvenWithADefault) {
  Write("[proxy]\r\nProxyUser=\r\nProxyPass=   \r\n");
  EXPECT_EQ(ini.Setting("proxy", "ProxyUser", "fallback"), "");
  EXPECT_EQ(ini.Setting("proxy", "ProxyPass", "fallback"), "");
}

TEST_F(IniFileTest, ValuesUpTo1023CharactersComeBackWhole) {
  const std::string value(1023, 'v');
  Write("[s]\r\nk=" + value + "\r\n");
  EXPECT_EQ(ini.Setting("s", "k"), value);
}

TEST_F(IniFileTest, LongerValuesAreCutTo1023Characters) {
  std::string value;
  for (int i = 0; i < 1500; ++i) {
    value.push_back(static_cast<char>('a' + i % 26));
  }
  Write("[s]\r\nk=" + value + "\r\nk1024=" + value.substr(0, 1024) + "\r\n");
  EXPECT_EQ(ini.Setting("s", "k"), value.substr(0, 1023));
  EXPECT_EQ(ini.Setting("s", "k1024"), value.substr(0, 1023));
}

TEST_F(IniFileTest, ReadAsksTheProfileCallThroughA1024CharacterBuffer) {
  ini.Setting("proxy", "ProxyUser", "dflt");
  ASSERT_EQ(profile.calls.size(), 1u);
  const FakeProfile::Call& call = profile.calls[0];
  EXPECT_FALSE(call.write);
  EXPECT_EQ(call.section, "proxy");
  EXPECT_EQ(call.key, "ProxyUser");
  EXPECT_EQ(call.valueOrDefault, "dflt");
  EXPECT_EQ(call.bufferSize, 1024u);
  EXPECT_EQ(call.fileName, kIniPath);
}

TEST_F(IniFileTest, EveryReadGoesToTheFileAfresh) {
  Write("[s]\r\nk=one\r\n");
  EXPECT_EQ(ini.Setting("s", "k"), "one");
  Write("[s]\r\nk=two\r\n");
  EXPECT_EQ(ini.Setting("s", "k"), "two");
}

TEST(IniFilePortTest, ACountBeyondTheBufferIsNotReadPast) {
  FakeFileSystem files;
  ScriptedProfile profile;
  FakeEnvironment environment;
  cIniFile ini{profile, files, environment};
  profile.answer = std::string(2000, 'x');
  profile.reportedCount = 5000;
  EXPECT_EQ(ini.Setting("s", "k").size(), 1024u);
  Names names;
  std::int32_t count = -1;
  ini.EnumerateSection("s", names, count);
  EXPECT_EQ(count, 0);
}

// ---------------------------------------------------------------------------
// Setting, write form; DeleteItem; ProfileDeleteSection

TEST_F(IniFileTest, WrittenValueReadsBackAndCreatesTheFile) {
  ini.Setting("proxy", "ProxyServer", "", "gate.example");
  EXPECT_TRUE(files.Exists(kIniPath));
  EXPECT_EQ(ini.Setting("proxy", "ProxyServer"), "gate.example");
}

TEST_F(IniFileTest, WriteFormIgnoresItsDefault) {
  ini.Setting("s", "k", "the default", "the value");
  ASSERT_EQ(profile.calls.size(), 1u);
  EXPECT_TRUE(profile.calls[0].write);
  EXPECT_EQ(profile.calls[0].valueOrDefault, "the value");
  EXPECT_EQ(ini.Setting("s", "k"), "the value");
}

TEST_F(IniFileTest, OverwritingAKeyKeepsTheOthers) {
  Write("[s]\r\na=1\r\nb=2\r\n[t]\r\na=3\r\n");
  ini.Setting("s", "a", "", "one");
  EXPECT_EQ(ini.Setting("s", "a"), "one");
  EXPECT_EQ(ini.Setting("s", "b"), "2");
  EXPECT_EQ(ini.Setting("t", "a"), "3");
}

TEST_F(IniFileTest, DeleteItemRemovesOnlyThatKey) {
  Write("[s]\r\na=1\r\nb=2\r\n[t]\r\na=3\r\n");
  ini.DeleteItem("s", "a");
  EXPECT_EQ(ini.Setting("s", "a", "gone"), "gone");
  EXPECT_EQ(ini.Setting("s", "b"), "2");
  EXPECT_EQ(ini.Setting("t", "a"), "3");
  ASSERT_FALSE(profile.calls.empty());
  const FakeProfile::Call& call = profile.calls[0];
  EXPECT_TRUE(call.write);
  EXPECT_EQ(call.key, "a");
  EXPECT_EQ(call.valueOrDefault, std::nullopt);
}

TEST_F(IniFileTest, ProfileDeleteSectionRemovesTheSectionWithItsKeys) {
  Write("[s]\r\na=1\r\nb=2\r\n[t]\r\na=3\r\n");
  ini.ProfileDeleteSection("s");
  EXPECT_EQ(Enumerate("s"), Names{});
  EXPECT_EQ(ini.Setting("t", "a"), "3");
  EXPECT_EQ(ini.TotalSections(), 1);
  const FakeProfile::Call& call = profile.calls[0];
  EXPECT_TRUE(call.write);
  EXPECT_EQ(call.key, std::nullopt);
  EXPECT_EQ(call.valueOrDefault, std::nullopt);
}

TEST_F(IniFileTest, DeletingFromAMissingFileDoesNotCreateIt) {
  ini.DeleteItem("s", "k");
  ini.ProfileDeleteSection("s");
  EXPECT_FALSE(files.Exists(kIniPath));
}

// ---------------------------------------------------------------------------
// EnumerateSection

TEST_F(IniFileTest, EnumerateListsKeysInFileOrder) {
  Write("[x]\r\nz=0\r\n[s]\r\na=1\r\nb=2\r\n");
  std::int32_t count = 0;
  EXPECT_EQ(Enumerate("s", &count), (Names{"a", "b"}));
  EXPECT_EQ(count, 2);
}

TEST_F(IniFileTest, EnumerateOfAMissingSectionOrFileGivesNothing) {
  std::int32_t count = -1;
  EXPECT_EQ(Enumerate("s", &count), Names{});
  EXPECT_EQ(count, 0);
  Write("[t]\r\na=1\r\n[empty]\r\n");
  EXPECT_EQ(Enumerate("s", &count), Names{});
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Enumerate("empty", &count), Names{});
  EXPECT_EQ(count, 0);
}

TEST_F(IniFileTest, EnumerateAsksForTheKeyListThroughAn8192CharacterBuffer) {
  Enumerate("s");
  ASSERT_EQ(profile.calls.size(), 1u);
  EXPECT_EQ(profile.calls[0].key, std::nullopt);
  EXPECT_EQ(profile.calls[0].valueOrDefault, "");
  EXPECT_EQ(profile.calls[0].bufferSize, 8192u);
}

// Key names of `length` characters: "key", then the number padded with zeros.
std::string NumberedName(int number, std::size_t length) {
  std::string digits = std::to_string(number);
  return "key" + std::string(length - 3 - digits.size(), '0') + digits;
}

TEST_F(IniFileTest, NamesBeyond8192CharactersListOnlyTheCompleteOnes) {
  // 16 characters a name with its NUL: the call keeps the first 8190
  // characters, 511 complete names and 14 characters of the next one, which
  // has no NUL after it and is left out.
  std::string text = "[big]\r\n";
  Names all;
  for (int i = 0; i < 700; ++i) {
    all.push_back(NumberedName(i, 15));
    text += all.back() + "=1\r\n";
  }
  Write(text);
  const Names listed = Enumerate("big");
  ASSERT_EQ(listed.size(), 511u);
  EXPECT_EQ(listed, Names(all.begin(), all.begin() + 511));
}

TEST_F(IniFileTest, ANameWhoseNulIsTheLastCharacterKeptIsListed) {
  // 10 characters a name with its NUL: the first 8190 characters are exactly
  // 819 names, each complete.
  std::string text = "[big]\r\n";
  for (int i = 0; i < 900; ++i) {
    text += NumberedName(i, 9) + "=1\r\n";
  }
  Write(text);
  const Names listed = Enumerate("big");
  ASSERT_EQ(listed.size(), 819u);
  EXPECT_EQ(listed.back(), NumberedName(818, 9));
}

TEST(IniFilePortTest, EnumerateSplitsTheListAtEveryNul) {
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
}

// ---------------------------------------------------------------------------
// TotalKeys and TotalSections

TEST_F(IniFileTest, CountsFollowTheirOwnLineRulesNotTheProfileCalls) {
  // A header, a key, a comment holding "=", a header behind a blank, a header.
  Write("[proxy]\r\nProxyServer=gate\r\n; port = 8080\r\n [indented]\r\n[other]\r\n");
  EXPECT_EQ(ini.TotalSections(), 2);
  EXPECT_EQ(ini.TotalKeys(), 2);
}

TEST_F(IniFileTest, CountsOfAFileThatCannotBeOpenedAreReportedAsSuch) {
  EXPECT_EQ(ini.TotalKeys(), std::nullopt);
  EXPECT_EQ(ini.TotalSections(), std::nullopt);
  Write("[s]\r\nk=1\r\n");
  files.MarkUnreadable(kIniPath);
  EXPECT_EQ(ini.TotalKeys(), std::nullopt);
  EXPECT_EQ(ini.TotalSections(), std::nullopt);
}

TEST_F(IniFileTest, AnEmptyFileCountsZeroNotCannotOpen) {
  Write("");
  EXPECT_EQ(ini.TotalKeys(), 0);
  EXPECT_EQ(ini.TotalSections(), 0);
}

TEST_F(IniFileTest, EveryCountReadsTheFileAfresh) {
  Write("[a]\r\n");
  EXPECT_EQ(ini.TotalSections(), 1);
  Write("[a]\r\n[b]\r\n");
  EXPECT_EQ(ini.TotalSections(), 2);
  EXPECT_EQ(files.readCount, 2u);
}

struct LineEndCase {
  const char* name;
  std::string text;
  std::int32_t sections;
  std::int32_t keys;
};

void PrintTo(const LineEndCase& lineEndCase, std::ostream* out) {
  *out << lineEndCase.name;
}

class IniLineEndTest : public IniFileTest, public ::testing::WithParamInterface<LineEndCase> {};

TEST_P(IniLineEndTest, CountsSeeTheRightLines) {
  Write(GetParam().text);
  EXPECT_EQ(ini.TotalSections(), GetParam().sections);
  EXPECT_EQ(ini.TotalKeys(), GetParam().keys);
}

// Each text would count differently if the line end in question were not
// one: "[a]\nk=1" read as one line is a key and no header.
INSTANTIATE_TEST_SUITE_P(
    LineEnds, IniLineEndTest,
    ::testing::Values(LineEndCase{"CrLf", "[a]\r\nk=1\r\n[b]\r\nk=2\r\n", 2, 2},
                      LineEndCase{"CrOnly", "[a]\rk=1\r[b]\rk=2\r", 2, 2},
                      LineEndCase{"LfOnly", "[a]\nk=1\n[b]\nk=2\n", 2, 2},
                      LineEndCase{"LoneLfEndsAHeader", "[a]\nk=1", 1, 1},
                      LineEndCase{"Mixed", "[a]\r\nk=1\r[b]\nk=2\r\n", 2, 2},
                      LineEndCase{"LfThenCrIsTwoEnds", "[a]\n\r[b]\n\rk=1", 2, 1},
                      LineEndCase{"NoFinalLineEnd", "[a]\r\nk=1\r\n[b]", 2, 1},
                      LineEndCase{"OnlyLineEnds", "\r\n\r\n\n\r\r", 0, 0},
                      LineEndCase{"NulIsNotALineEnd", Bytes("[a\0]\r\nk\0=\0\r\n"), 1, 1},
                      LineEndCase{"NoLineEndAtAll", "[only]", 1, 0}),
    [](const ::testing::TestParamInfo<LineEndCase>& testInfo) { return std::string(testInfo.param.name); });

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

TEST(IniLineTest, IsSectionNeedsBracketsAtBothVeryEnds) {
  EXPECT_TRUE(cIniFile::IsSection("[proxy]"));
  EXPECT_TRUE(cIniFile::IsSection("[]"));
  EXPECT_TRUE(cIniFile::IsSection("[a] b]"));
  EXPECT_FALSE(cIniFile::IsSection("["));
  EXPECT_FALSE(cIniFile::IsSection("]"));
  EXPECT_FALSE(cIniFile::IsSection(""));
  EXPECT_FALSE(cIniFile::IsSection(" [proxy]"));
  EXPECT_FALSE(cIniFile::IsSection("[proxy] "));
  EXPECT_FALSE(cIniFile::IsSection("[proxy] ; note"));
  EXPECT_FALSE(cIniFile::IsSection("[proxy"));
  EXPECT_FALSE(cIniFile::IsSection("proxy]"));
}

TEST(IniLineTest, IsKeyLooksForAnEqualsSignAnywhere) {
  EXPECT_TRUE(cIniFile::IsKey("="));
  EXPECT_TRUE(cIniFile::IsKey("k=v"));
  EXPECT_TRUE(cIniFile::IsKey("; comment = with equals"));
  EXPECT_TRUE(cIniFile::IsKey("[a=b]"));
  EXPECT_TRUE(cIniFile::IsKey(Bytes("\0\0=")));
  EXPECT_FALSE(cIniFile::IsKey(""));
  EXPECT_FALSE(cIniFile::IsKey("no equals sign"));
  EXPECT_FALSE(cIniFile::IsKey("[proxy]"));
}

// ---------------------------------------------------------------------------
// The profile fake itself: cIniFile's tests above are only as good as its
// likeness to the platform, so the behaviour seen on the real calls is
// pinned here.

TEST_F(IniFileTest, FakeTrimsNamesAndValuesAndMatchesWithoutCase) {
  Write("  [ Proxy ]  \r\n  Server =  gate  \r\nquoted=\"  q  \"\r\n");
  EXPECT_EQ(ini.Setting("PROXY", "server"), "gate");
  EXPECT_EQ(ini.Setting(" proxy ", " SERVER "), "gate");
  EXPECT_EQ(ini.Setting("proxy", "quoted"), "  q  ");
  EXPECT_EQ(ini.Setting("proxy", "missing", "dflt   "), "dflt");
}

TEST_F(IniFileTest, FakeListsKeysButNotCommentsOrStrayLines) {
  Write("[s]\r\na=1\r\nstray line\r\n;c=2\r\nb=3\r\n");
  EXPECT_EQ(Enumerate("s"), (Names{"a", "b"}));
  EXPECT_EQ(ini.Setting("s", "stray line", "none"), "none");
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
