// The transfer control over the real WinINet, the real file system port and
// the real message pump, against the loopback back office: what the native
// tests show over a fake of WinINet, shown again with the real one, and what
// reached the server seen in its request log.
//
// Every test tags its addresses with a query of its own, so it finds its own
// requests in the log that all tests share (the server routes by path and
// ignores the query).
//
// The control sends its HEAD request to the host part of the address, which
// keeps the server's ":port", on WinINet's default port: over a direct
// session it never reaches the server. The tests that look at the HEAD send
// the control through the server acting as its proxy, where it arrives.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backoffice_client.h"
#include "transfer/internet_file.h"
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
  std::vector<std::int32_t> progress;

  void DownloadComplete() override { events.push_back("complete"); }
  void DownloadProgress(std::int32_t& lBytesRead) override {
    events.push_back("progress " + std::to_string(lBytesRead));
    progress.push_back(lBytesRead);
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

    control_ = std::make_unique<InternetFile>(http_, pump_, files_);
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

  // Sends the control's sessions through the back office as their proxy:
  // the one way its HEAD request reaches the server (see
  // TheHeadOfAnAddressWithAPortNeverLeavesADirectSession).
  void ThroughTheServerAsProxy() {
    control_->ConnectType(1);
    control_->ProxyServer("127.0.0.1");
    control_->ProxyPort(static_cast<std::int16_t>(Server().Port()));
  }

  // The target of the HEAD for `path` as WinINet sends it to a proxy: the
  // host of the control's split address, which keeps the ":port", followed
  // by WinINet's default port. (A GET names the address as given.)
  std::string ProxyHeadTarget(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(Server().Port()) + ":80" + path + "?" + token_;
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
  hta::Win32Http http_;
  hta::win32::Win32MessagePump pump_;
  hta::win32::Win32FileSystem files_;
  RecordingEvents events_;
  std::unique_ptr<InternetFile> control_;
};

// --- Whole bodies.

TEST_F(WineTransferTest, SyncGetReturnsTheBodyOverADefaultAndADirectSession) {
  EXPECT_EQ(control_->syncGET(Address("/text")), "Hello from the loopback back office.");
  control_->ConnectType(2);
  EXPECT_EQ(control_->syncGET(Address("/text")), "Hello from the loopback back office.");
}

// Empty, exactly one read block, large, dripping slowly, chunked: each
// arrives whole through syncGET and through a download, read in blocks of
// at most 2048 bytes, the last progress repeating the total.
TEST_F(WineTransferTest, EmptyBlockSizedLargeDrippingAndChunkedBodiesArriveWhole) {
  struct Case {
    const char* path;
    std::size_t size;
    Lines events;  // every event, when given
  };
  const Case cases[] = {{"/empty", 0, {"progress 0", "complete"}},
                        {"/exact2048", 2048, {"progress 2048", "progress 2048", "complete"}},
                        {"/full", 100000, {}},
                        {"/drip", 6000, {}},
                        {"/chunked", 10000, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    events_.events.clear();
    events_.progress.clear();
    EXPECT_TRUE(control_->syncGET(Address(c.path)) == Pattern(c.size)) << "the body differs";
    EXPECT_FALSE(control_->SessionOpen());

    const std::string local = Download(c.path);
    if (!c.events.empty()) {
      EXPECT_EQ(events_.events, c.events);
    }
    EXPECT_EQ(events_.Last(), "complete");
    const std::vector<std::int32_t>& progress = events_.progress;
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), static_cast<std::int32_t>(c.size));
    if (c.size > 0) {
      ASSERT_GE(progress.size(), 2u);
      EXPECT_EQ(progress[progress.size() - 2], progress.back()) << "the last progress repeats the total";
    }
    for (std::size_t i = 1; i < progress.size(); ++i) {
      EXPECT_LE(progress[i] - progress[i - 1], 2048) << "blocks of at most 2048 bytes";
    }
    ExpectFile(local, Pattern(c.size));
    EXPECT_FALSE(control_->SessionOpen());
  }
}

TEST_F(WineTransferTest, RequestInformationReadsTheHeadersAndA404WithAnotherReasonCountsAsExisting) {
  ThroughTheServerAsProxy();
  control_->Url(Address("/full"));
  control_->RequestInformation();
  EXPECT_TRUE(control_->FileExists());
  EXPECT_EQ(control_->FileSize(), 100000);
  EXPECT_EQ(control_->LastModified(), "Sat, 05 Dec 2026 10:00:00 GMT");
  control_->Url(Address("/missing"));
  control_->RequestInformation();
  EXPECT_TRUE(control_->FileExists()) << "only \"404 File Not Found\" means missing";
  EXPECT_EQ(control_->LastModified(), "Not Available") << "the second answer was read";
  EXPECT_EQ(Seen(MyRequests()),
            (Lines{"HEAD " + ProxyHeadTarget("/full"), "HEAD " + ProxyHeadTarget("/missing")}));
}

// The control connects its HEAD to the host part of the address with the
// service's default port, and that host part keeps the ":port" of the
// address. Over a direct session WinINet cannot resolve such a name: the send
// fails (ERROR_INTERNET_NAME_NOT_RESOLVED, without asking any name server)
// and nothing reaches the server. Only the GET, which takes the whole
// address, does.
TEST_F(WineTransferTest, TheHeadOfAnAddressWithAPortNeverLeavesADirectSession) {
  EXPECT_EQ(control_->syncGET(Address("/full")).size(), 100000u);
  EXPECT_TRUE(control_->InfoRequested());
  // What a HEAD without a response leaves (a HEAD never made leaves 0 and "").
  EXPECT_FALSE(control_->FileExists());
  EXPECT_EQ(control_->LastModified(), "Not Available");
  EXPECT_EQ(control_->FileSize(), -1);
  EXPECT_EQ(Seen(MyRequests()), Lines{"GET /full?" + token_});
}

// --- A body shorter than its Content-Length is a failed read: 4096 bytes
// announced and the connection closed after N, or 3000 sent of 5000.

struct ShortBody {
  const char* path;
  int kept;
};

class WineShortBodyTest : public WineTransferTest, public ::testing::WithParamInterface<ShortBody> {};

TEST_P(WineShortBodyTest, BodyShorterThanItsLengthIsAFailureThatKeepsWhatArrived) {
  const auto [path, kept] = GetParam();
  EXPECT_EQ(control_->syncGET(Address(path)).size(), 0u);
  EXPECT_FALSE(control_->SessionOpen()) << "a failed read closes the session";

  const std::string local = Download(path);
  EXPECT_EQ(events_.Last(), "error Could not read Url");
  for (const std::int32_t total : events_.progress) {
    EXPECT_LE(total, kept);
  }
  // The address opened, so the file exists; every byte that arrived is kept.
  ExpectFile(local, Pattern(static_cast<std::size_t>(kept)));
  EXPECT_FALSE(control_->SessionOpen());
}

INSTANTIATE_TEST_SUITE_P(Cut, WineShortBodyTest,
                         ::testing::Values(ShortBody{"/cut0", 0}, ShortBody{"/cut1", 1},
                                           ShortBody{"/cut2047", 2047}, ShortBody{"/cut2048", 2048},
                                           ShortBody{"/cut2049", 2049}, ShortBody{"/lie-long", 3000}),
                         [](const ::testing::TestParamInfo<ShortBody>& param) {
                           std::string name = param.param.path + 1;
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

// --- A body longer than its Content-Length, and a chunked body cut short.

// 1000 bytes announced, 3000 sent, then the connection closed. Wine's
// WinINet reads on past the announced length to the close, so the control
// gets all 3000; WinINet on Windows is expected to stop at 1000. Either way
// the bytes are the server's, in order, and the transfer counts as whole.
TEST_F(WineTransferTest, BodyLongerThanItsLengthIsTakenAsWinInetReadsIt) {
  const std::string body = control_->syncGET(Address("/lie-short"));
  EXPECT_TRUE(body == Pattern(1000) || body == Pattern(3000)) << body.size() << " bytes";
  const std::string local = Download("/lie-short");
  EXPECT_EQ(events_.Last(), "complete");
  const auto written = files_.ReadAll(local);
  ASSERT_TRUE(written);
  EXPECT_TRUE(*written == Pattern(written->size()) && (written->size() == 1000 || written->size() == 3000))
      << written->size() << " bytes";
}

// A chunked body (no Content-Length) cut inside a chunk, with no final
// chunk: Wine's WinINet reports the cut as the end of the body (a read of 0
// bytes that succeeds), so the control cannot tell it from a whole body and
// returns the 4500 bytes that came. What it returns is never wrong bytes.
TEST_F(WineTransferTest, ChunkedBodyCutInsideAChunkLooksWholeToWinInet) {
  const std::string body = control_->syncGET(Address("/chunked-cut"));
  EXPECT_TRUE(body.empty() || body == Pattern(4500)) << body.size() << " bytes";
}

// --- Error pages: a status of 400 or more is a failure, whatever the body.

class WineErrorPageTest : public WineTransferTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WineErrorPageTest, SyncGetReturnsNothingAndADownloadFailsWithCouldNotFindAndNoFile) {
  EXPECT_EQ(control_->syncGET(Address(GetParam())), "");
  EXPECT_EQ(Seen(MyRequests()), Lines{"GET " + std::string(GetParam()) + "?" + token_})
      << "the page was asked for";

  const std::string local = Download(GetParam());
  EXPECT_EQ(events_.events, Lines{"error Could not find Url"});
  EXPECT_EQ(GetFileAttributesA(local.c_str()), INVALID_FILE_ATTRIBUTES) << "no file is created";
  EXPECT_TRUE(control_->SessionOpen()) << "an address that cannot be opened leaves the session open";
}

INSTANTIATE_TEST_SUITE_P(Status, WineErrorPageTest, ::testing::Values("/missing", "/broken"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                           return std::string(param.param + 1);
                         });

// --- Resuming and restarting.

class WineResumeTest : public WineTransferTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WineResumeTest, ResumeFrom5000BytesAsksForTheRestAndCompletesTheFile) {
  const std::string local = LocalPath("resumed.bin");
  WriteFile(local, Pattern(5000));
  control_->Url(Address(GetParam()));
  control_->LocalFile(local);
  control_->ResumeDownload();

  EXPECT_EQ(events_.Last(), "complete");
  EXPECT_EQ(control_->ResumePosition(), 5000);
  ASSERT_FALSE(events_.progress.empty());
  EXPECT_GT(events_.progress.front(), 5000);
  EXPECT_LE(events_.progress.front(), 5000 + 2048) << "the first total is 5000 plus the first block";
  EXPECT_EQ(events_.progress.back(), 12000);
  ExpectFile(local, Pattern(12000));  // the new bytes follow the old ones

  const auto requests = MyRequests();
  ASSERT_EQ(Seen(requests), Lines{"GET " + std::string(GetParam()) + "?" + token_});
  EXPECT_EQ(requests[0].Header("Range"), "bytes=5000-");
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

// --- What the server sees.

// Through a named proxy: absolute targets, the HEAD before the first
// transfer only, and the user agent on every request.
TEST_F(WineTransferTest, NamedProxyGetsAHeadThenAGetAndLaterOnlyAGetAllWithTheUserAgent) {
  ThroughTheServerAsProxy();
  for (int call = 1; call <= 2; ++call) {
    EXPECT_EQ(control_->syncGET(Address("/proxied")), "Through the proxy.") << call;
    EXPECT_FALSE(control_->SessionOpen()) << call;
  }
  const auto requests = MyRequests();
  EXPECT_EQ(Seen(requests), (Lines{"HEAD " + ProxyHeadTarget("/proxied"), "GET " + Address("/proxied"),
                                   "GET " + Address("/proxied")}));
  for (const LoggedRequest& request : requests) {
    EXPECT_EQ(request.Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; LUMO)")
        << request.Describe();
  }
}

TEST_F(WineTransferTest, GetsAskCachesForFreshData) {
  control_->syncGET(Address("/text"));
  Download("/exact2048");
  const auto gets = MyRequests();  // the HEAD never reaches the server
  ASSERT_EQ(Seen(gets), (Lines{"GET /text?" + token_, "GET /exact2048?" + token_}));
  for (const LoggedRequest& get : gets) {
    EXPECT_EQ(get.Header("Pragma"), "no-cache") << get.Describe();
    // Wine's WinINet sends Pragma alone; Windows may add Cache-Control.
    if (const auto cacheControl = get.Header("Cache-Control")) {
      EXPECT_EQ(*cacheControl, "no-cache") << get.Describe();
    }
  }
}

// A proxy that wants credentials answers 407 to every request without them.
// The control sets ProxyUser and ProxyPassword as options of its HEAD request
// only. Wine's WinINet keeps those options with the session, not the request,
// and answers a 407 by sending the request again with them. So the HEAD and
// the GET that follows it in the same session get through; a later transfer
// runs in a new session, sends no HEAD, has no credentials and is refused.
// (Setting the options on the session handle itself does not change this.)
TEST_F(WineTransferTest, AuthenticatingProxyLetsOnlyTheFirstTransferThrough) {
  std::string why;
  const auto proxy = BackOffice::Find("backoffice_proxy_auth", why);
  ASSERT_TRUE(proxy) << why;
  const auto useProxy = [&](InternetFile& control) {
    control.ConnectType(1);
    control.ProxyServer("127.0.0.1");
    control.ProxyPort(static_cast<std::int16_t>(proxy->Port()));
  };
  // Each request tagged `tag` as "METHOD Proxy-Authorization".
  const auto seen = [&](const std::string& tag) {
    Lines lines;
    for (const LoggedRequest& request : proxy->RequestsWith(tag)) {
      lines.push_back(request.method + " " + request.Header("Proxy-Authorization").value_or("(none)"));
    }
    return lines;
  };
  const std::string credentials = "Basic aHRhLXByb3h5OnByMHh5LXNlY3JldA==";  // hta-proxy:pr0xy-secret

  // Without credentials nothing gets through.
  const std::string anonymous = token_ + "-anonymous";
  useProxy(*control_);
  EXPECT_EQ(control_->syncGET(proxy->Url("/proxied?" + anonymous)), "");
  EXPECT_EQ(seen(anonymous), (Lines{"HEAD (none)", "GET (none)"}));

  // With them: the first transfer, then a second one.
  const std::string named = token_ + "-named";
  InternetFile control(http_, pump_, files_);
  control.InitProperties();
  useProxy(control);
  control.ProxyUser("hta-proxy");
  control.ProxyPassword("pr0xy-secret");
  EXPECT_EQ(control.syncGET(proxy->Url("/proxied?" + named)), "Through the authenticating proxy.");
  EXPECT_EQ(control.syncGET(proxy->Url("/proxied?" + named)), "") << "the second transfer is refused";
  EXPECT_EQ(seen(named), (Lines{
                             "HEAD (none)",          // 407
                             "HEAD " + credentials,  // sent again with the options: 200
                             "GET (none)",           // same session: 407
                             "GET " + credentials,   // sent again with the session's options: 200
                             "GET (none)",           // new session, no HEAD: 407, not sent again
                         }));
}

}  // namespace
