// cIniFile over the real profile calls and the real file port, in a folder
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

#include "crypto/cipher.h"
#include "settings/ini_file.h"
#include "win32/unique_handle.h"
#include "win32/win32_file_system.h"
#include "win32/win32_headers.h"
#include "win32/win32_profile.h"

namespace {

using hta::cIniFile;
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

bool WriteBytes(const std::string& path, const std::string& bytes) {
  UniqueHandle file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return false;
  }
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string NumberedName(int number, std::size_t length) {
  const std::string digits = std::to_string(number);
  return "key" + std::string(length - 3 - digits.size(), '0') + digits;
}

class WindowsIniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof temp, temp);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof temp);
    static int serial = 0;
    folder_ = std::string(temp) + "hta_ini_test_" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(++serial);
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;
    environment_.emplace(folder_);
    ini_.emplace(profile_, files_, *environment_);
  }

  void TearDown() override {
    ini_.reset();
    if (folder_.empty()) {
      return;
    }
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder_ + "\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
      const std::string path = folder_ + "\\" + found.cFileName;  // "." and ".." fail
      (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryA(path.c_str())
                                                               : DeleteFileA(path.c_str());
    }
    FindClose(search);
    EXPECT_TRUE(RemoveDirectoryA(folder_.c_str())) << "left behind: " << folder_;
  }

  std::string IniPath() const { return folder_ + "\\Launcher.ini"; }
  cIniFile& ini() { return *ini_; }
  bool FileExists(const std::string& path) const {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  Names Enumerate(const std::string& section, std::int32_t& count) {
    Names names{"left over"};
    count = -1;
    ini().EnumerateSection(section, names, count);
    return names;
  }

  std::string folder_;
  hta::win32::Win32Profile profile_;
  hta::win32::Win32FileSystem files_;
  std::optional<FolderEnvironment> environment_;
  std::optional<cIniFile> ini_;
};

TEST_F(WindowsIniFileTest, AMissingFileIsNotCreatedByAReadAndNeitherItNorAFolderInItsPlaceCanBeCounted) {
  EXPECT_EQ(ini().Setting("proxy", "ProxyPort", "8080"), "8080");
  EXPECT_EQ(ini().TotalKeys(), std::nullopt);
  EXPECT_FALSE(FileExists(IniPath()));
  ASSERT_TRUE(CreateDirectoryA(IniPath().c_str(), nullptr));
  EXPECT_EQ(ini().TotalSections(), std::nullopt);
}

TEST_F(WindowsIniFileTest, ValuesAreCutTo1023Characters) {
  std::string value;
  for (int i = 0; i < 1024; ++i) {
    value.push_back(static_cast<char>('a' + i % 26));
  }
  ASSERT_TRUE(WriteBytes(IniPath(), "[s]\r\nlong=" + value + "\r\nfits=" + value.substr(0, 1023) + "\r\n"));
  EXPECT_EQ(ini().Setting("s", "long"), value.substr(0, 1023));
  EXPECT_EQ(ini().Setting("s", "fits"), value.substr(0, 1023));
}

TEST_F(WindowsIniFileTest, AnEmptyValueIsReadAsItIsAMissingKeyGivesTheDefault) {
  ASSERT_TRUE(WriteBytes(IniPath(), "[proxy]\r\nProxyUser=\r\n"));
  EXPECT_EQ(ini().Setting("proxy", "ProxyUser", "dflt"), "");
  EXPECT_EQ(ini().Setting("proxy", "ProxyPass", "dflt"), "dflt");
}

TEST_F(WindowsIniFileTest, EnumerateListsKeyNamesInFileOrder) {
  ASSERT_TRUE(WriteBytes(IniPath(), "[x]\r\nz=0\r\n[s]\r\na=1\r\nb=2\r\n[empty]\r\n"));
  std::int32_t count = -1;
  EXPECT_EQ(Enumerate("s", count), (Names{"a", "b"}));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Enumerate("empty", count), Names{});
  EXPECT_EQ(count, 0);
}

// The call keeps 8190 characters of names, each with its NUL: 16 characters
// a name lets 511 fit and cuts the 512th, which is left out; 10 characters a
// name lets the 819th end with its NUL on the last character kept.
TEST_F(WindowsIniFileTest, EnumerateListsOnlyTheNamesCompleteWithin8192Characters) {
  struct Case {
    std::size_t nameLength;  // without the NUL
    int written;
    int listed;
  };
  for (const Case c : {Case{15, 700, 511}, Case{9, 900, 819}}) {
    SCOPED_TRACE(c.nameLength);
    std::string text = "[big]\r\n";
    Names all;
    for (int i = 0; i < c.written; ++i) {
      all.push_back(NumberedName(i, c.nameLength));
      text += all.back() + "=1\r\n";
    }
    ini().FileName(folder_ + "\\names" + std::to_string(c.nameLength) + ".ini");  // a file never read before
    ASSERT_TRUE(WriteBytes(ini().FileName(), text));
    std::int32_t count = -1;
    const Names listed = Enumerate("big", count);
    EXPECT_EQ(count, c.listed);
    EXPECT_EQ(listed, Names(all.begin(), all.begin() + c.listed));
  }
}

TEST_F(WindowsIniFileTest, WriteReadDeleteRoundTrips) {
  ini().Setting("proxy", "ProxyServer", "ignored default", "gate.example");
  ini().Setting("proxy", "ProxyPort", "", "8080");
  ini().Setting("other", "k", "", "v");
  EXPECT_EQ(ini().Setting("proxy", "ProxyServer", "dflt"), "gate.example");
  EXPECT_EQ(ini().TotalSections(), 2);
  EXPECT_EQ(ini().TotalKeys(), 3);

  ini().DeleteItem("proxy", "ProxyServer");
  EXPECT_EQ(ini().Setting("proxy", "ProxyServer", "dflt"), "dflt");
  EXPECT_EQ(ini().Setting("proxy", "ProxyPort", "dflt"), "8080");

  ini().ProfileDeleteSection("proxy");
  EXPECT_EQ(ini().Setting("proxy", "ProxyPort", "dflt"), "dflt");
  EXPECT_EQ(ini().Setting("other", "k", "dflt"), "v");
  EXPECT_EQ(ini().TotalSections(), 1);
  EXPECT_EQ(ini().TotalKeys(), 1);
}

TEST_F(WindowsIniFileTest, AStoredPasswordTooLongForTheReadIsReportedAsCorrupted) {
  const std::string stored = hta::Encrypt(std::string(512, 'p'), "key");
  ASSERT_TRUE(WriteBytes(IniPath(), "[proxy]\r\nProxyPass=" + stored + "\r\n"));
  EXPECT_EQ(hta::Decrypt(ini().Setting("proxy", "ProxyPass", ""), "key"), std::nullopt);
}

// ---------------------------------------------------------------------------
// The file port underneath

TEST_F(WindowsIniFileTest, FilePortReadsAFileAnotherProgramHasOpenForWriting) {
  ASSERT_TRUE(WriteBytes(IniPath(), "[s]\r\n"));
  UniqueHandle writer(CreateFileA(IniPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer);
  EXPECT_EQ(files_.ReadAll(IniPath()), "[s]\r\n");
}

TEST_F(WindowsIniFileTest, FilePortTellsLockedFilesFromFoldersAndMovesOnlyWhatItFlushed) {
  ASSERT_TRUE(WriteBytes(IniPath(), "x"));
  EXPECT_EQ(files_.StateOf(IniPath()), hta::FileState::Present);
  {
    // Another program holds the file and shares nothing: it is still there,
    // and cannot be replaced: the new file stays beside it.
    UniqueHandle holder(CreateFileA(IniPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(files_.StateOf(IniPath()), hta::FileState::Locked);
    ASSERT_TRUE(WriteBytes(IniPath() + ".temp", "new"));
    EXPECT_FALSE(files_.MoveFileReplacing(IniPath() + ".temp", IniPath()));
  }
  EXPECT_EQ(files_.ReadAll(IniPath()), "x");
  EXPECT_EQ(files_.ReadAll(IniPath() + ".temp"), "new");
  {
    // The new file is flushed through a handle of the move's own: held by
    // another program that lets it be renamed but not written, it could be
    // moved, but not flushed, so it is not moved.
    UniqueHandle holder(CreateFileA((IniPath() + ".temp").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_FALSE(files_.MoveFileReplacing(IniPath() + ".temp", IniPath()));
    EXPECT_EQ(files_.ReadAll(IniPath()), "x");
  }
  EXPECT_TRUE(files_.MoveFileReplacing(IniPath() + ".temp", IniPath()));
  EXPECT_EQ(files_.ReadAll(IniPath()), "new");
  EXPECT_EQ(files_.StateOf(folder_), hta::FileState::Folder);
  EXPECT_EQ(files_.StateOf(folder_ + "\\missing.ini"), hta::FileState::Missing);
  EXPECT_EQ(files_.StateOf(folder_ + "\\no folder\\missing.ini"), hta::FileState::Missing);
}

TEST(UniqueHandleTest, TakesBothFailureValuesAsNoHandleAndClosesWhatItOwnsAfterAMove) {
  EXPECT_FALSE(UniqueHandle(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(UniqueHandle(nullptr));
  HANDLE raw = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  UniqueHandle first(raw);
  UniqueHandle second(std::move(first));
  EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): a moved-from handle is empty by contract
  second.reset();
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(raw, &flags));  // closed
}

}  // namespace
