#pragma once

// The fixture of the tests that run the real program against the loopback
// back office. Between SetUp and the end of the test, the test owns the one
// real launcher of the session (RealLauncherLock), the registry is that of a
// first run, and the driver has folders of its own; mark_ is the last
// request the server had seen before, so a test finds its own requests in
// the record the suite shares.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "backoffice_client.h"
#include "launcher_driver.h"

namespace hta::wintest {

inline constexpr DWORD kStartTimeoutMs = 30000;  // a first start in a fresh Wine prefix is slow
inline constexpr DWORD kStepTimeoutMs = 15000;

class RealLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!BackOffice::Configured()) {
      GTEST_SKIP() << "the loopback back office is not running (run the suite through CTest)";
    }
    ASSERT_TRUE(lock_.held()) << "another test kept the real launcher for four minutes";
    std::string why;
    server_ = BackOffice::Find("backoffice", why);
    ASSERT_TRUE(server_) << why;
    ASSERT_TRUE(driver_.Ready()) << driver_.Error();
    mark_ = LastSequence(*server_);
  }

  void TearDown() override { driver_.Kill(); }

  void Start(const std::vector<std::string>& arguments) {
    std::string error;
    ASSERT_TRUE(driver_.Start(arguments, error)) << error;
  }

  // The sequence number of the last request `server` has recorded; 0 when
  // none.
  static int LastSequence(const BackOffice& server) {
    const std::vector<LoggedRequest> all = server.RequestsWith("");
    return all.empty() ? 0 : all.back().sequence;
  }

  // One line per request, for failure messages.
  static std::string Describe(const std::vector<LoggedRequest>& requests) {
    std::string text;
    for (const LoggedRequest& request : requests) {
      text += "\n  " + request.Describe();
    }
    return text;
  }

  // The launcher's log as it stands, and the number of places `part` is in
  // a text.
  std::string Log() const { return ReadFileBytes(driver_.LogPath()).value_or(""); }
  static int CountLines(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
      ++count;
    }
    return count;
  }

  // Waits for the fake opener's `count`th start in record_ (see
  // FakeHtaAssociation), which opened `file` with `parameters` exactly as
  // given, and for no more than that.
  void ExpectOpened(std::size_t count, const std::string& file, const std::string& parameters) const {
    std::vector<FakeOpenerRun> runs;
    WaitUntil([&] { return (runs = FakeOpenerRuns(record_)).size() >= count; }, kStepTimeoutMs);
    ASSERT_EQ(runs.size(), count) << "requests:" << Describe(server_->RequestsWith("", mark_));
    EXPECT_EQ(runs.back().commandLine, "\"" + FakeOpenerExePath() + "\" \"" + file + "\" " + parameters);
  }

  // Members go in reverse order: the driver (ending the launcher), then the
  // registry as it was, and the lock last.
  RealLauncherLock lock_;
  FirstRunRegistry registry_;
  std::optional<BackOffice> server_;
  LauncherDriver driver_;
  int mark_ = 0;
  std::string record_;  // the fake opener's record, for tests that keep one
};

}  // namespace hta::wintest
