// IniFile over the real profile calls and the real file port, in a folder
// of its own under the temporary folder. Each test uses a fresh folder: the
// platform may cache a profile file between calls, so a file is never
// rewritten behind the profile calls' back within one test.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "launcher_driver.h"
#include "settings/ini_file.h"
#include "win32/unique_handle.h"
#include "win32/win32_file_system.h"
#include "win32/win32_headers.h"
#include "win32/win32_profile.h"

namespace {

using hta::IniFile;
using hta::win32::UniqueHandle;
using Names = std::vector<std::string>;

// Places the INI file in the test's folder.
class FolderEnvironment final : public hta::Environment {
 public:
  explicit FolderEnvironment(std::string folder) : folder_(std::move(folder)) {}
  std::string ExeFolder() override { return folder_; }
  std::string ExeName() override { return "Launcher"; }
  std::string TempFolder() override { return folder_ + "\\"; }

 private:
  std::string folder_;
};

std::string NumberedName(int number, std::size_t length) {
  const std::string digits = std::to_string(number);
  return "key" + std::string(length - 3 - digits.size(), '0') + digits;
}

class WindowsIniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.empty()); }

  std::string IniPath() const { return folder_ + "\\Launcher.ini"; }
  Names Enumerate(const std::string& section, std::int32_t& count) {
    Names names{"left over"};
    count = -1;
    ini_.EnumerateSection(section, names, count);
    return names;
  }

  // Members go in reverse order: the INI file before its folder.
  hta::wintest::ScratchFolder scratch_{"hta_ini_test"};
  const std::string folder_ = scratch_.path().substr(0, scratch_.path().size() - 1);
  hta::win32::Win32Profile profile_;
  hta::win32::Win32FileSystem files_;
  FolderEnvironment environment_{folder_};
  IniFile ini_{profile_, files_, environment_};
};

// Reads never create the file; a missing file, or a folder in its place,
// cannot be counted. Values are cut to 1023 characters (a stored password
// longer than that reads back odd-sized, and so as damaged); an empty value
// is a value, a missing key gives the default.
TEST_F(WindowsIniFileTest, ReadsCutValuesTo1023Characters) {
  EXPECT_EQ(ini_.Setting("proxy", "ProxyPort", "8080"), "8080");
  EXPECT_EQ(ini_.TotalKeys(), std::nullopt);
  EXPECT_EQ(GetFileAttributesA(IniPath().c_str()), INVALID_FILE_ATTRIBUTES);
  std::string value;
  for (int i = 0; i < 1024; ++i) {
    value.push_back(static_cast<char>('a' + i % 26));
  }
  ini_.FileName(folder_ + "\\values.ini");
  ASSERT_TRUE(hta::wintest::WriteFileBytes(ini_.FileName(), "[s]\r\nlong=" + value + "\r\nempty=\r\n"));
  EXPECT_EQ(ini_.Setting("s", "long"), value.substr(0, 1023));
  EXPECT_EQ(ini_.Setting("s", "empty", "dflt"), "");
  EXPECT_EQ(ini_.Setting("s", "missing", "dflt"), "dflt");
  ASSERT_TRUE(CreateDirectoryA(IniPath().c_str(), nullptr));
  ini_.FileName(IniPath());
  EXPECT_EQ(ini_.TotalSections(), std::nullopt);
}

// Key names come in file order. The call keeps 8190 characters of names,
// each with its NUL: 16 characters a name lets 511 fit and cuts the 512th,
// which is left out; 10 characters a name lets the 819th end with its NUL on
// the last character kept.
TEST_F(WindowsIniFileTest, EnumerateListsOnlyTheNamesCompleteWithin8192Characters) {
  struct Case {
    std::size_t nameLength;  // without the NUL
    int written;
    int listed;
  };
  for (const Case c : {Case{4, 2, 2}, Case{15, 700, 511}, Case{9, 900, 819}}) {
    SCOPED_TRACE(c.nameLength);
    std::string text = "[x]\r\nz=0\r\n[big]\r\n";
    Names all;
    for (int i = 0; i < c.written; ++i) {
      all.push_back(NumberedName(c.written - i, c.nameLength));
      text += all.back() + "=1\r\n";
    }
    ini_.FileName(folder_ + "\\names" + std::to_string(c.nameLength) + ".ini");  // a file never read before
    ASSERT_TRUE(hta::wintest::WriteFileBytes(ini_.FileName(), text + "[empty]\r\n"));
    std::int32_t count = -1;
    const Names listed = Enumerate("big", count);
    EXPECT_EQ(count, c.listed);
    EXPECT_EQ(listed, Names(all.begin(), all.begin() + c.listed));
    EXPECT_EQ(Enumerate("empty", count), Names{});
    EXPECT_EQ(count, 0);
  }
}

TEST_F(WindowsIniFileTest, WriteReadDeleteRoundTrips) {
  ini_.Setting("proxy", "ProxyServer", "ignored default", "gate.example");
  ini_.Setting("proxy", "ProxyPort", "", "8080");
  ini_.Setting("other", "k", "", "v");
  EXPECT_EQ(ini_.Setting("proxy", "ProxyServer", "dflt"), "gate.example");
  EXPECT_EQ(ini_.TotalKeys(), 3);
  ini_.DeleteItem("proxy", "ProxyServer");
  EXPECT_EQ(ini_.Setting("proxy", "ProxyServer", "dflt"), "dflt");
  EXPECT_EQ(ini_.Setting("proxy", "ProxyPort", "dflt"), "8080");
  ini_.ProfileDeleteSection("proxy");
  EXPECT_EQ(ini_.Setting("proxy", "ProxyPort", "dflt"), "dflt");
  EXPECT_EQ(ini_.TotalSections(), 1);
  EXPECT_EQ(ini_.TotalKeys(), 1);
}

// The file port underneath: a file another program writes can be read; one
// held without sharing is Locked and cannot be replaced (the launcher then
// opens the one in place, as over the fakes in fetch_test.cpp); a new file is
// flushed through a handle of the move's own, so one that could be renamed
// but not flushed is not moved either.
TEST_F(WindowsIniFileTest, FilePortRespectsFilesOthersHold) {
  ASSERT_TRUE(hta::wintest::WriteFileBytes(IniPath(), "x"));
  const auto held = [&](const std::string& path, DWORD access, DWORD share) {
    return UniqueHandle(
        CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  {
    UniqueHandle writer = held(IniPath(), GENERIC_WRITE, FILE_SHARE_READ);
    EXPECT_EQ(files_.ReadAll(IniPath()), "x");
  }
  ASSERT_TRUE(hta::wintest::WriteFileBytes(IniPath() + ".temp", "new"));
  {
    UniqueHandle holder = held(IniPath(), GENERIC_READ, 0);
    EXPECT_EQ(files_.StateOf(IniPath()), hta::FileState::Locked);
    EXPECT_FALSE(files_.MoveFileReplacing(IniPath() + ".temp", IniPath()));
    // What the log then says: "the file in place is in use".
    const hta::FileFailure failure = files_.LastFailure();
    EXPECT_TRUE(failure == hta::FileFailure::InUse || failure == hta::FileFailure::AccessDenied);
  }
  {
    UniqueHandle holder = held(IniPath() + ".temp", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    EXPECT_FALSE(files_.MoveFileReplacing(IniPath() + ".temp", IniPath()));
  }
  EXPECT_EQ(files_.ReadAll(IniPath()), "x");
  EXPECT_EQ(files_.StateOf(IniPath()), hta::FileState::Present);
  EXPECT_TRUE(files_.MoveFileReplacing(IniPath() + ".temp", IniPath()));
  EXPECT_EQ(files_.ReadAll(IniPath()), "new");
  EXPECT_EQ(files_.StateOf(folder_), hta::FileState::Folder);
  EXPECT_EQ(files_.StateOf(folder_ + "\\no folder\\missing.ini"), hta::FileState::Missing);
}

}  // namespace
