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

  // The sequence number of the last request `server` has recorded; 0 when
  // none.
  static int LastSequence(const BackOffice& server) {
    int last = 0;
    if (const auto all = server.Requests()) {
      for (const LoggedRequest& request : *all) {
        last = std::max(last, request.sequence);
      }
    }
    return last;
  }

  // The requests `server` recorded after `since` whose target holds `path`
  // (anywhere: a proxy gets absolute addresses).
  static std::vector<LoggedRequest> RequestsUnder(const BackOffice& server, const std::string& path,
                                                  int since) {
    std::vector<LoggedRequest> found;
    if (const auto all = server.Requests()) {
      for (const LoggedRequest& request : *all) {
        if (request.sequence > since && request.target.find(path) != std::string::npos) {
          found.push_back(request);
        }
      }
    }
    return found;
  }

  // One line per request, for failure messages.
  static std::string Describe(const std::vector<LoggedRequest>& requests) {
    std::string text;
    for (const LoggedRequest& request : requests) {
      text += "\n  " + request.Describe();
    }
    return text;
  }

  // Members go in reverse order: the driver (ending the launcher), then the
  // registry as it was, and the lock last.
  RealLauncherLock lock_;
  FirstRunRegistry registry_;
  std::optional<BackOffice> server_;
  LauncherDriver driver_;
  int mark_ = 0;
};

}  // namespace hta::wintest
