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
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "backoffice_client.h"
#include "launcher_driver.h"
#include "shared/recording_transfer_events.h"
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

class WineTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!BackOffice::Configured()) {
      GTEST_SKIP() << "no loopback back office: run through ctest, which starts it";
    }
    std::string why;
    server_ = BackOffice::Find("backoffice", why);
    ASSERT_TRUE(server_) << why;

    // The "~" ends the tag, so no tag is a part of another one.
    token_ = "t=" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
             std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + "~";

    ASSERT_FALSE(scratch_.path().empty());
    control_.InitProperties();
    control_.SetEvents(&events_);
  }

  // The server's address of `path`, tagged with this test's query.
  std::string Address(const std::string& path) const { return server_->Url(path + "?" + token_); }

  // This test's requests as the server logged them.
  std::vector<LoggedRequest> MyRequests() const { return server_->RequestsWith(token_); }

  std::string LocalPath(const std::string& name) const { return scratch_.path() + name; }

  // A download (or a resume) of `path` into local file `name`; returns that
  // file's path.
  std::string Download(const std::string& path, const std::string& name = "download.bin",
                       bool resume = false) {
    const std::string local = LocalPath(name);
    control_.Url(Address(path));
    control_.LocalFile(local);
    resume ? control_.ResumeDownload() : control_.StartDownload();
    return local;
  }

  std::optional<BackOffice> server_;
  std::string token_;
  hta::wintest::ScratchFolder scratch_{"hta-transfer-test"};
  hta::win32::Win32MessagePump pump_;
  hta::win32::Win32Http http_{pump_};
  hta::win32::Win32FileSystem files_;
  hta::win32::Win32Clock clock_;
  hta::testing::RecordingTransferEvents events_;
  InternetFile control_{http_, files_, clock_};
};

// Each address through syncGET and through a download (a whole one into a
// file that held more before, which it empties): empty, exactly one read block
// (the 0-byte read that ends it repeats the total), dripping in pieces
// smaller than a block, chunked without a Content-Length, and more than its
// Content-Length (Wine's WinINet reads on to the close, WinINet on Windows
// is expected to stop at the length; either way the server's bytes, whole).
// A body cut short of its length is a failed read that keeps what arrived
// (the address opened, so the file exists); a status of 400 or more gives no
// body, and a download fails with no file.
TEST_F(WineTransferTest, BodiesArriveWhole) {
  struct Case {
    const char* path;
    std::size_t size, orSize;  // the bytes kept: Pattern(size) or Pattern(orSize)
    const char* last;          // the last event of the download
    Lines events;              // every event, when given
  };
  const Case cases[] = {
      {"/empty", 0, 0, "complete", {"progress 0", "complete"}},
      {"/exact2048", 2048, 2048, "complete", {"progress 2048", "progress 2048", "complete"}},
      {"/drip", 6000, 6000, "complete", {}},
      {"/chunked", 10000, 10000, "complete", {}},
      {"/lie-short", 1000, 3000, "complete", {}},
      {"/cut0", 0, 0, "error [Could not read Url]", {}},
      {"/cut2048", 2048, 2048, "error [Could not read Url]", {}},
      {"/missing", 0, 0, "error [Could not find Url]", {"error [Could not find Url]"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    events_.events.clear();
    const std::string body = control_.syncGET(Address(c.path));
    const bool whole = std::string(c.last) == "complete";
    EXPECT_TRUE(whole ? body == Pattern(c.size) || body == Pattern(c.orSize) : body.empty()) << body.size();
    DeleteFileA(LocalPath("download.bin").c_str());
    ASSERT_TRUE(!whole || hta::wintest::WriteFileBytes(LocalPath("download.bin"), std::string(20000, 'x')));
    const std::string local = Download(c.path);
    if (!c.events.empty()) {
      EXPECT_EQ(events_.events, c.events);
    }
    EXPECT_EQ(events_.Last(), c.last);
    const std::optional<std::string> written = files_.ReadAll(local);
    if (std::string(c.path) == "/missing") {
      EXPECT_EQ(GetFileAttributesA(local.c_str()), INVALID_FILE_ATTRIBUTES);
    } else {
      ASSERT_TRUE(written);
      EXPECT_TRUE(*written == Pattern(c.size) || *written == Pattern(c.orSize))
          << written->size() << " bytes";
    }
  }
}

// Read from the real header queries: size, date, and the status text, where
// only "404 File Not Found" means missing.
TEST_F(WineTransferTest, RequestInformationReadsTheRealHeaders) {
  control_.Url(Address("/full"));
  control_.RequestInformation();
  EXPECT_TRUE(control_.FileExists());
  EXPECT_EQ(control_.FileSize(), 100000);
  EXPECT_EQ(control_.LastModified(), "Sat, 05 Dec 2026 10:00:00 GMT");
  control_.Url(Address("/missing"));
  control_.RequestInformation();
  EXPECT_TRUE(control_.FileExists());
  EXPECT_EQ(control_.LastModified(), "Not Available") << "the second answer was read";
}

// Wine's WinINet sends Pragma alone; Windows may add Cache-Control.
TEST_F(WineTransferTest, GetsAskCachesForFreshData) {
  control_.syncGET(Address("/text"));
  const LoggedRequest get = MyRequests().back();
  ASSERT_EQ(get.method + " " + get.target, "GET /text?" + token_);
  EXPECT_EQ(get.Header("Pragma"), "no-cache") << get.Describe();
  EXPECT_EQ(get.Header("Cache-Control").value_or("no-cache"), "no-cache") << get.Describe();
}

// 10 bytes every 250 ms: each read returns with what has arrived, and each
// piece is handed over as it comes, not once a buffer is full.
TEST_F(WineTransferTest, ADrippingBodyIsHandedOverAsItArrives) {
  Download("/drip-slow");
  EXPECT_EQ(events_.Last(), "complete");
  EXPECT_GE(events_.events.size(), 6u) << "one progress event per batch of what had arrived";
}

// With the limits shortened to 1 s a call and 1 KiB in 2 s: a server that
// never sends its status line fails the open, one that never sends its body
// fails the read, and so does one that sends a byte every 300 ms (each call
// within its limit, the whole far too slow), even after a fast first MiB
// that has the worker wait for a large read.
TEST_F(WineTransferTest, SlowServersFailWithinTheLimits) {
  hta::TransferLimits limits = hta::kTransferLimits;
  limits.callMilliseconds = 1000;
  limits.slowWindowMicroseconds = 2000000;
  control_.SetLimits(limits);
  const std::pair<const char*, const char*> cases[] = {{"/stall", "error [Could not find Url]"},
                                                       {"/stall-body", "error [Could not read Url]"},
                                                       {"/trickle", "error [Could not read Url]"},
                                                       {"/fast-then-trickle", "error [Could not read Url]"}};
  for (const auto& [path, error] : cases) {
    SCOPED_TRACE(path);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(control_.syncGET(Address(path)), "");
    Download(path);
    EXPECT_EQ(events_.Last(), error);
    EXPECT_LT(GetTickCount64() - start, 9000u);
  }
}

// The control whose transfer a timer cancels, as Exit's handler would.
InternetFile* cancelTarget = nullptr;
void CALLBACK CancelOnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  cancelTarget->CancelDownload();
}

// A cancel from a handler while the server is silent (before its status
// line, or in the middle of the body) ends the download at once, with the
// real 30 s limits: nothing waits for the worker, which is still blocked. A
// new transfer then runs beside it, and a syncGET is cancelled the same way.
TEST_F(WineTransferTest, ACancelDuringASilentServerNeverWaitsForTheNetwork) {
  cancelTarget = &control_;
  for (const char* path : {"/stall", "/stall-body"}) {
    SCOPED_TRACE(path);
    events_.events.clear();
    ASSERT_NE(SetTimer(nullptr, 0, 300, CancelOnTimer), 0u);
    const ULONGLONG start = GetTickCount64();
    const std::string local = Download(path);
    EXPECT_LT(GetTickCount64() - start, 10000u) << "the cancel waited for the network";
    ASSERT_FALSE(events_.events.empty());
    EXPECT_TRUE(events_.Last().starts_with("cancelled")) << events_.Last();
    EXPECT_EQ(control_.syncGET(Address("/text")), "Hello from the loopback back office.");
    ASSERT_NE(SetTimer(nullptr, 0, 300, CancelOnTimer), 0u);
    EXPECT_EQ(control_.syncGET(Address(path)), "");
    EXPECT_LT(GetTickCount64() - start, 20000u) << "the cancel waited for the network";
  }
}

// From 5000 bytes kept, a resume asks for the rest and completes the file,
// whether the server honours the range (206) or sends it all (200).
TEST_F(WineTransferTest, AResumeFrom5000BytesCompletesTheFile) {
  for (const char* path : {"/resume-206", "/resume-200"}) {
    SCOPED_TRACE(path);
    const std::string name = std::string(path + 1) + ".bin";
    ASSERT_TRUE(hta::wintest::WriteFileBytes(LocalPath(name), Pattern(5000)));
    const int before = static_cast<int>(MyRequests().size());
    const std::string local = Download(path, name, true);
    EXPECT_EQ(events_.Last(), "complete");
    EXPECT_TRUE(files_.ReadAll(local) == Pattern(12000)) << "the new bytes follow the old ones";
    const auto requests = MyRequests();
    ASSERT_GT(static_cast<int>(requests.size()), before);
    EXPECT_EQ(requests.back().target, path + ("?" + token_));
    EXPECT_EQ(requests.back().Header("Range"), "bytes=5000-");
  }
}

}  // namespace
