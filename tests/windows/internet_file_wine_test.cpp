// The transfer control over the real WinINet, the real file system port and
// the real message pump, against the loopback back office: what the native
// tests show over a fake of WinINet, shown again with the real one, and what
// reached the server seen in its request log.
//
// Every test tags its addresses with a query of its own, so it finds its own
// requests in the log that all tests share (the server routes by path and
// ignores the query).
//
// A control's first transfer sends a HEAD request for its address first, to
// the address's own host and port, so it shows in the log before the GET.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "backoffice_client.h"
#include "transfer/internet_file.h"
#include "win32/win32_clock.h"
#include "win32/win32_file_system.h"
#include "win32/win32_headers.h"
#include "win32/win32_http.h"
#include "win32/win32_message_pump.h"

namespace {

using hta::InternetFile;
using hta::wintest::BackOffice;
using hta::wintest::LoggedRequest;
using Lines = std::vector<std::string>;

// The bytes of a `body-bytes` piece of the scenario: byte i is (i * 7) mod 251.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7) % 251);
  }
  return bytes;
}

// Every event as a line: "progress N", "complete", "error TEXT",
// "cancelled N".
class RecordingEvents final : public hta::InternetFileEvents {
 public:
  Lines events;

  void DownloadComplete() override { events.push_back("complete"); }
  void DownloadProgress(std::int32_t& lBytesRead) override {
    events.push_back("progress " + std::to_string(lBytesRead));
  }
  void DownloadError(std::string& sErrorDescription) override {
    events.push_back("error " + sErrorDescription);
  }
  void DownloadCancelled(std::int32_t& lPosition) override {
    events.push_back("cancelled " + std::to_string(lPosition));
  }

  // The last event, or "(none)".
  std::string Last() const { return events.empty() ? "(none)" : events.back(); }
};

class WineTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!BackOffice::Configured()) {
      GTEST_SKIP() << "no loopback back office: run through ctest, which starts it";
    }
    std::string why;
    auto found = BackOffice::Find("backoffice", why);
    ASSERT_TRUE(found) << why;
    server_.emplace(*found);

    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    token_ = "t=" + std::string(info->test_suite_name()) + "." + info->name() + "-" +
             std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + "~";
    // The "~" ends the tag, so no tag is a part of another one.
    for (char& c : token_) {
      if (c == '/') {
        c = '_';
      }
    }

    char temp[MAX_PATH + 1] = {};
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    folder_ = std::string(temp) + "hta-transfer-test-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(GetTickCount64());
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;

    control_ = std::make_unique<InternetFile>(http_, pump_, files_, clock_);
    control_->InitProperties();
    control_->SetEvents(&events_);
  }

  void TearDown() override {
    control_.reset();
    if (folder_.empty()) {
      return;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder_ + "\\*").c_str(), &entry);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &entry)) {
      DeleteFileA((folder_ + "\\" + entry.cFileName).c_str());  // fails on "." and ".."
    }
    FindClose(search);
    EXPECT_TRUE(RemoveDirectoryA(folder_.c_str())) << folder_;
  }

  const BackOffice& Server() const { return *server_; }

  // The server's address of `path`, tagged with this test's query.
  std::string Address(const std::string& path) const { return Server().Url(path + "?" + token_); }

  // This test's requests as the server logged them.
  std::vector<LoggedRequest> MyRequests() const { return Server().RequestsWith(token_); }

  std::string LocalPath(const std::string& name) const { return folder_ + "\\" + name; }

  void WriteFile(const std::string& path, const std::string& bytes) {
    auto writer = files_.OpenForWrite(path, true);
    ASSERT_TRUE(writer) << path;
    ASSERT_TRUE(writer->Write(std::as_bytes(std::span(bytes.data(), bytes.size()))));
  }

  // That the file at `path` holds exactly `bytes` (without printing them).
  void ExpectFile(const std::string& path, const std::string& bytes) {
    const std::optional<std::string> written = files_.ReadAll(path);
    ASSERT_TRUE(written) << path << " was not created";
    EXPECT_EQ(written->size(), bytes.size());
    EXPECT_TRUE(*written == bytes) << "the file differs from the generated bytes";
  }

  // A download of `path` into a fresh local file; returns that file's path.
  std::string Download(const std::string& path) {
    const std::string local = LocalPath("download.bin");
    control_->Url(Address(path));
    control_->LocalFile(local);
    control_->StartDownload();
    return local;
  }

  // Each request as "METHOD target".
  static Lines Seen(const std::vector<LoggedRequest>& requests) {
    Lines seen;
    for (const LoggedRequest& request : requests) {
      seen.push_back(request.method + " " + request.target);
    }
    return seen;
  }

  std::optional<BackOffice> server_;
  std::string token_;
  std::string folder_;
  hta::win32::Win32Http http_;
  hta::win32::Win32MessagePump pump_;
  hta::win32::Win32FileSystem files_;
  hta::win32::Win32Clock clock_;
  RecordingEvents events_;
  std::unique_ptr<InternetFile> control_;
};

// --- Whole bodies.

// Empty, exactly one read block (the 0-byte read that ends it repeats the
// total), dripping in pieces smaller than a block, chunked without a
// Content-Length: each arrives whole through syncGET and through a download.
TEST_F(WineTransferTest, EmptyBlockSizedDrippingAndChunkedBodiesArriveWhole) {
  struct Case {
    const char* path;
    std::size_t size;
    Lines events;  // every event, when given
  };
  const Case cases[] = {{"/empty", 0, {"progress 0", "complete"}},
                        {"/exact2048", 2048, {"progress 2048", "progress 2048", "complete"}},
                        {"/drip", 6000, {}},
                        {"/chunked", 10000, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    events_.events.clear();
    EXPECT_TRUE(control_->syncGET(Address(c.path)) == Pattern(c.size)) << "the body differs";
    const std::string local = Download(c.path);
    if (!c.events.empty()) {
      EXPECT_EQ(events_.events, c.events);
    }
    EXPECT_EQ(events_.Last(), "complete");
    ExpectFile(local, Pattern(c.size));
  }
}

// Read from the real header queries: size, date, and the status text, where
// only "404 File Not Found" means missing.
TEST_F(WineTransferTest, RequestInformationReadsTheHeadersAndA404WithAnotherReasonCountsAsExisting) {
  control_->Url(Address("/full"));
  control_->RequestInformation();
  EXPECT_TRUE(control_->FileExists());
  EXPECT_EQ(control_->FileSize(), 100000);
  EXPECT_EQ(control_->LastModified(), "Sat, 05 Dec 2026 10:00:00 GMT");
  control_->Url(Address("/missing"));
  control_->RequestInformation();
  EXPECT_TRUE(control_->FileExists());
  EXPECT_EQ(control_->LastModified(), "Not Available") << "the second answer was read";
}

// --- Slow and stalled servers.

// The real pump, with the longest stretch between two of its calls: how
// long the window went without its messages.
class GapPump final : public hta::MessagePump {
 public:
  void DoEvents() override {
    const ULONGLONG now = GetTickCount64();
    if (last_ != 0) {
      longestGapMs = std::max(longestGapMs, now - last_);
    }
    real_.DoEvents();
    last_ = GetTickCount64();
  }
  ULONGLONG longestGapMs = 0;

 private:
  hta::win32::Win32MessagePump real_;
  ULONGLONG last_ = 0;
};

// 10 bytes every 250 ms: each read returns with what has arrived, so the
// window never waits longer than the drip itself.
TEST_F(WineTransferTest, ADrippingBodyKeepsTheMessageLoopWithinTheDripInterval) {
  GapPump pump;
  InternetFile control(http_, pump, files_, clock_);
  control.InitProperties();
  control.SetEvents(&events_);
  control.Url(Address("/drip-slow"));
  control.LocalFile(LocalPath("drip.bin"));
  control.StartDownload();
  EXPECT_EQ(events_.Last(), "complete");
  EXPECT_GE(events_.events.size(), 6u) << "one progress event per read of what had arrived";
  EXPECT_LE(pump.longestGapMs, 250u + 20u);
}

// With the limits shortened to 1 s a call and 1 KiB in 2 s: a server that
// never sends its status line fails the open, one that never sends its body
// fails the read, and so does one that sends a byte every 300 ms (each call
// within its limit, the whole far too slow).
TEST_F(WineTransferTest, StallsAndTricklesFailWithinTheLimits) {
  hta::TransferLimits limits = hta::kTransferLimits;
  limits.callMilliseconds = 1000;
  limits.slowWindowMicroseconds = 2000000;
  control_->SetLimits(limits);
  const std::pair<const char*, const char*> cases[] = {{"/stall", "error Could not find Url"},
                                                       {"/stall-body", "error Could not read Url"},
                                                       {"/trickle", "error Could not read Url"}};
  for (const auto& [path, error] : cases) {
    SCOPED_TRACE(path);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(control_->syncGET(Address(path)), "");
    Download(path);
    EXPECT_EQ(events_.Last(), error);
    EXPECT_LT(GetTickCount64() - start, 9000u);
  }
}

// --- A body shorter than its Content-Length is a failed read: 4096 bytes
// announced and the connection closed after none, or right after the first
// whole read block.

class WineShortBodyTest : public WineTransferTest, public ::testing::WithParamInterface<int> {};

TEST_P(WineShortBodyTest, BodyShorterThanItsLengthIsAFailureThatKeepsWhatArrived) {
  const int kept = GetParam();
  const std::string path = "/cut" + std::to_string(kept);
  EXPECT_EQ(control_->syncGET(Address(path)).size(), 0u);
  const std::string local = Download(path);
  EXPECT_EQ(events_.Last(), "error Could not read Url");
  // The address opened, so the file exists; every byte that arrived is kept.
  ExpectFile(local, Pattern(static_cast<std::size_t>(kept)));
}

INSTANTIATE_TEST_SUITE_P(Cut, WineShortBodyTest, ::testing::Values(0, 2048),
                         [](const ::testing::TestParamInfo<int>& param) {
                           return "Kept" + std::to_string(param.param);
                         });

// 1000 bytes announced, 3000 sent, then the connection closed. Wine's
// WinINet reads on past the announced length to the close; WinINet on
// Windows is expected to stop at 1000. Either way the bytes are the
// server's, in order, and the transfer counts as whole.
TEST_F(WineTransferTest, BodyLongerThanItsLengthIsTakenAsWinInetReadsIt) {
  const std::string body = control_->syncGET(Address("/lie-short"));
  EXPECT_TRUE(body == Pattern(1000) || body == Pattern(3000)) << body.size() << " bytes";
  const std::string local = Download("/lie-short");
  EXPECT_EQ(events_.Last(), "complete");
  const auto written = files_.ReadAll(local);
  ASSERT_TRUE(written);
  EXPECT_TRUE(*written == Pattern(1000) || *written == Pattern(3000)) << written->size() << " bytes";
}

// A status of 400 or more is a failure, whatever the body: the page was
// asked for and answered, yet nothing is returned or written.
TEST_F(WineTransferTest, AnErrorPageGivesNoBodyAndADownloadFailsWithCouldNotFindAndNoFile) {
  EXPECT_EQ(control_->syncGET(Address("/missing")), "");
  EXPECT_EQ(Seen(MyRequests()), (Lines{"HEAD /missing?" + token_, "GET /missing?" + token_}));
  const std::string local = Download("/missing");
  EXPECT_EQ(events_.events, Lines{"error Could not find Url"});
  EXPECT_EQ(GetFileAttributesA(local.c_str()), INVALID_FILE_ATTRIBUTES);
}

// --- Resuming and restarting.

class WineResumeTest : public WineTransferTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WineResumeTest, ResumeFrom5000BytesAsksForTheRestAndCompletesTheFile) {
  const std::string local = LocalPath("resumed.bin");
  WriteFile(local, Pattern(5000));
  control_->Url(Address(GetParam()));
  control_->LocalFile(local);
  control_->ResumeDownload();
  EXPECT_EQ(events_.Last(), "complete");
  ExpectFile(local, Pattern(12000));  // the new bytes follow the old ones
  const auto requests = MyRequests();
  const std::string target = std::string(GetParam()) + "?" + token_;
  ASSERT_EQ(Seen(requests), (Lines{"HEAD " + target, "GET " + target}));
  EXPECT_EQ(requests[1].Header("Range"), "bytes=5000-");
}

INSTANTIATE_TEST_SUITE_P(Reply, WineResumeTest, ::testing::Values("/resume-206", "/resume-200"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                           return std::string(param.param + 1) == "resume-206" ? "Partial206" : "Whole200";
                         });

TEST_F(WineTransferTest, StartDownloadEmptiesALongerExistingFile) {
  WriteFile(LocalPath("download.bin"), std::string(20000, 'x'));
  const std::string local = Download("/exact2048");
  EXPECT_EQ(events_.Last(), "complete");
  ExpectFile(local, Pattern(2048));  // no stale tail
}

// syncGET and a download open their GETs alike.
TEST_F(WineTransferTest, GetsAskCachesForFreshData) {
  control_->syncGET(Address("/text"));
  const auto requests = MyRequests();
  ASSERT_EQ(Seen(requests), (Lines{"HEAD /text?" + token_, "GET /text?" + token_}));
  const LoggedRequest& get = requests[1];
  EXPECT_EQ(get.Header("Pragma"), "no-cache") << get.Describe();
  // Wine's WinINet sends Pragma alone; Windows may add Cache-Control.
  if (const auto cacheControl = get.Header("Cache-Control")) {
    EXPECT_EQ(*cacheControl, "no-cache") << get.Describe();
  }
}

}  // namespace
