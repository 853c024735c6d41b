// The real HtaLauncher.exe started twice against the loopback back office:
// the second start asks for each download only if it changed, with the
// server's own ETag and Last-Modified values; the files the server answers
// 304 for stay as they were and the main application opens from them; a
// file whose server sends neither is fetched whole both times.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "backoffice_client.h"
#include "launcher_driver.h"
#include "real_launcher_fixture.h"
#include "win32/win32_headers.h"

namespace {

using hta::wintest::kStartTimeoutMs;
using hta::wintest::kStepTimeoutMs;
using hta::wintest::LoggedRequest;

class ValidatorsE2eTest : public hta::wintest::RealLauncherTest {
 protected:
  // Starts the launcher on the "fresh" back office, waits for the tray and
  // for the main application's opening, ends it as a user would; the
  // requests it made for the three downloads, by file name.
  std::vector<LoggedRequest> StartAndClose(const std::string& record, std::size_t openings) {
    const int since = LastSequence(*server_);
    Start({"--bootstrap", server_->Url("/launcher/fresh/exebootstrap.php")});
    EXPECT_TRUE(driver_.WaitForTray(kStartTimeoutMs)) << "the window did not go to the tray";
    EXPECT_TRUE(hta::wintest::WaitUntil(
        [&] { return hta::wintest::FakeOpenerRuns(record).size() == openings; }, kStepTimeoutMs))
        << "the main application was not opened";
    const HWND window = hta::wintest::MainWindowOf(driver_.ProcessId());
    EXPECT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(driver_.WaitForExit(kStepTimeoutMs), std::optional<DWORD>(0)) << "the launcher did not end";
    return server_->RequestsWith("/launcher/fresh/", since);
  }

  static const LoggedRequest* RequestFor(const std::vector<LoggedRequest>& requests,
                                         const std::string& file) {
    for (const LoggedRequest& request : requests) {
      if (request.method == "GET" && request.Path() == "/launcher/fresh/" + file) {
        return &request;
      }
    }
    ADD_FAILURE() << "no GET of " << file << Describe(requests);
    return nullptr;
  }

  std::optional<ULONGLONG> LastWrite(const std::string& file) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA((driver_.AppFolder() + file).c_str(), GetFileExInfoStandard, &data)) {
      return std::nullopt;
    }
    return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
  }
};

TEST_F(ValidatorsE2eTest, ASecondStartKeepsUnchangedFilesThrough304s) {
  hta::wintest::FakeHtaAssociation association;
  ASSERT_TRUE(association.Ready()) << association.Error();
  const std::string record = driver_.RecordFakeOpenerRuns();

  const std::vector<LoggedRequest> first = StartAndClose(record, 1);
  for (const char* file : {"fresh.hta", "dated.hta", "plain.hta"}) {
    const LoggedRequest* request = RequestFor(first, file);
    EXPECT_TRUE(request && !request->Header("If-None-Match") && !request->Header("If-Modified-Since"))
        << file;
  }
  const std::optional<std::string> fresh = hta::wintest::ReadFileBytes(driver_.AppFolder() + "fresh.hta");
  const std::optional<ULONGLONG> freshWritten = LastWrite("fresh.hta");
  const std::optional<ULONGLONG> datedWritten = LastWrite("dated.hta");
  const std::optional<ULONGLONG> plainWritten = LastWrite("plain.hta");
  ASSERT_TRUE(fresh && freshWritten && datedWritten && plainWritten);
  EXPECT_NE(GetFileAttributesA((driver_.AppFolder() + "validators.ini").c_str()), INVALID_FILE_ATTRIBUTES);
  // A later last-write time for a file written again, even on a coarse clock.
  Sleep(50);

  const std::vector<LoggedRequest> second = StartAndClose(record, 2);
  const LoggedRequest* freshAgain = RequestFor(second, "fresh.hta");
  const LoggedRequest* datedAgain = RequestFor(second, "dated.hta");
  const LoggedRequest* plainAgain = RequestFor(second, "plain.hta");
  ASSERT_TRUE(freshAgain && datedAgain && plainAgain);
  EXPECT_EQ(freshAgain->Header("If-None-Match"), "\"fresh-1\"");
  EXPECT_EQ(datedAgain->Header("If-Modified-Since"), "Mon, 07 Dec 2026 08:00:00 GMT");
  EXPECT_FALSE(plainAgain->Header("If-None-Match") || plainAgain->Header("If-Modified-Since"))
      << "a server without validators gets today's requests";
  EXPECT_EQ(hta::wintest::ReadFileBytes(driver_.AppFolder() + "fresh.hta"), fresh);
  EXPECT_EQ(LastWrite("fresh.hta"), freshWritten) << "fresh.hta was written again";
  EXPECT_EQ(LastWrite("dated.hta"), datedWritten) << "dated.hta was written again";
  EXPECT_NE(LastWrite("plain.hta"), plainWritten) << "plain.hta was not fetched whole";

  const std::vector<hta::wintest::FakeOpenerRun> runs = hta::wintest::FakeOpenerRuns(record);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1].commandLine, runs[0].commandLine) << "the same main application both times";
  const std::string log = hta::wintest::ReadFileBytes(driver_.LogPath()).value_or("");
  for (const char* told : {"Download unchanged: fresh.hta", "Download unchanged: dated.hta"}) {
    EXPECT_NE(log.find(told), std::string::npos) << told << "\n" << log;
  }
}

}  // namespace
