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
using hta::InternetHandle;
using hta::wintest::BackOffice;
using hta::wintest::LoggedRequest;

// The bytes of a `body-bytes` piece of the scenario: byte i is (i * 7) mod 251.
std::string Pattern(std::size_t size, std::size_t from = 0) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>(((from + i) * 7) % 251);
  }
  return bytes;
}

// The real WinINet port, with the calls the tests need to count written
// down: which sessions were opened and how, and what each GET asked for.
class RecordingHttp final : public hta::HttpCalls {
 public:
  struct OpenCall {
    std::string agent;
    std::uint32_t accessType;
    std::string proxy;  // "(null)" when none
  };
  struct OpenUrlCall {
    std::string url;
    std::string headers;
    std::uint32_t flags;
  };
  std::vector<OpenCall> opens;
  std::vector<OpenUrlCall> openUrls;
  std::vector<std::string> verbs;

  InternetHandle Open(const char* agent, std::uint32_t accessType, const char* proxy, const char* bypass,
                      std::uint32_t flags) override {
    opens.push_back({agent, accessType, proxy != nullptr ? proxy : "(null)"});
    return real_.Open(agent, accessType, proxy, bypass, flags);
  }
  InternetHandle Connect(InternetHandle session, const char* host, std::uint16_t port, const char* user,
                         const char* password, std::uint32_t service, std::uint32_t flags,
                         std::uintptr_t context) override {
    return real_.Connect(session, host, port, user, password, service, flags, context);
  }
  InternetHandle OpenRequest(InternetHandle connection, const char* verb, const char* path,
                             const char* version, std::uint32_t flags, std::uintptr_t context) override {
    verbs.push_back(verb);
    return real_.OpenRequest(connection, verb, path, version, flags, context);
  }
  bool SetOption(InternetHandle handle, std::uint32_t option, std::span<const char> value) override {
    return real_.SetOption(handle, option, value);
  }
  bool SendRequest(InternetHandle request, const char* headers, std::uint32_t headersLength) override {
    return real_.SendRequest(request, headers, headersLength);
  }
  bool QueryInfo(InternetHandle request, std::uint32_t infoLevel, std::span<char> buffer,
                 std::uint32_t& length, std::uint32_t& index) override {
    return real_.QueryInfo(request, infoLevel, buffer, length, index);
  }
  InternetHandle OpenUrl(InternetHandle session, const char* url, const char* headers,
                         std::uint32_t headersLength, std::uint32_t flags, std::uintptr_t context) override {
    openUrls.push_back(
        {url, headers != nullptr ? std::string(headers, headersLength) : std::string(), flags});
    verbs.push_back("GET");
    return real_.OpenUrl(session, url, headers, headersLength, flags, context);
  }
  bool ReadFile(InternetHandle stream, std::span<std::byte> buffer, std::uint32_t& bytesRead) override {
    return real_.ReadFile(stream, buffer, bytesRead);
  }
  std::int32_t SetFilePointer(InternetHandle stream, std::int32_t distance,
                              std::uint32_t moveMethod) override {
    return real_.SetFilePointer(stream, distance, moveMethod);
  }
  bool CloseHandle(InternetHandle handle) override { return real_.CloseHandle(handle); }

 private:
  hta::Win32Http real_;
};

// Every event as a line: "progress N", "complete", "error TEXT",
// "cancelled N".
class RecordingEvents final : public hta::InternetFileEvents {
 public:
  std::vector<std::string> events;
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
    const std::string pattern = folder_ + "\\*";
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
          DeleteFileA((folder_ + "\\" + entry.cFileName).c_str());
        }
      } while (FindNextFileA(search, &entry));
      FindClose(search);
    }
    EXPECT_TRUE(RemoveDirectoryA(folder_.c_str())) << folder_;
  }

  const BackOffice& Server() const { return *server_; }

  // The server's address of `path`, tagged with this test's query.
  std::string Address(const std::string& path) const { return Server().Url(path + "?" + token_); }

  // This test's requests as the server logged them.
  std::vector<LoggedRequest> MyRequests() const { return Server().RequestsWith(token_); }

  std::string LocalPath(const std::string& name) const { return folder_ + "\\" + name; }

  bool Exists(const std::string& path) const {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::optional<std::string> Contents(const std::string& path) { return files_.ReadAll(path); }

  void WriteFile(const std::string& path, const std::string& bytes) {
    auto writer = files_.OpenForWrite(path, true);
    ASSERT_TRUE(writer) << path;
    ASSERT_TRUE(writer->Write(std::as_bytes(std::span(bytes.data(), bytes.size()))));
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

  // The target of a request for `path` as WinINet sends it to a proxy: the
  // GET names the address as given; the HEAD names the host of the control's
  // split address, which keeps the ":port", followed by WinINet's default
  // port.
  std::string ProxyTarget(const std::string& path) const { return Address(path); }
  std::string ProxyHeadTarget(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(Server().Port()) + ":80" + path + "?" + token_;
  }

  static std::vector<LoggedRequest> Gets(const std::vector<LoggedRequest>& requests) {
    std::vector<LoggedRequest> gets;
    for (const LoggedRequest& request : requests) {
      if (request.method == "GET") {
        gets.push_back(request);
      }
    }
    return gets;
  }

  static std::string Requests(const std::vector<LoggedRequest>& requests) {
    std::string text;
    for (const LoggedRequest& request : requests) {
      text += request.Describe() + "\n";
    }
    return text;
  }

  std::optional<BackOffice> server_;
  std::string token_;
  std::string folder_;
  RecordingHttp http_;
  hta::win32::Win32MessagePump pump_;
  hta::win32::Win32FileSystem files_;
  RecordingEvents events_;
  std::unique_ptr<InternetFile> control_;
};

// --- Whole bodies.

TEST_F(WineTransferTest, SyncGetReturnsATextBody) {
  EXPECT_EQ(control_->syncGET(Address("/text")), "Hello from the loopback back office.");
  EXPECT_FALSE(control_->SessionOpen());
}

TEST_F(WineTransferTest, SyncGetReturnsALargeBodyByteForByte) {
  const std::string body = control_->syncGET(Address("/full"));
  EXPECT_EQ(body.size(), 100000u);
  EXPECT_TRUE(body == Pattern(100000)) << "the body differs from the generated bytes";
}

TEST_F(WineTransferTest, SyncGetOverADirectSessionReturnsTheBody) {
  control_->ConnectType(2);
  EXPECT_EQ(control_->syncGET(Address("/text")), "Hello from the loopback back office.");
  ASSERT_EQ(http_.opens.size(), 1u);
  EXPECT_EQ(http_.opens[0].accessType, hta::kInternetOpenTypeDirect);
}

TEST_F(WineTransferTest, DownloadWritesTheWholeBodyAndEndsComplete) {
  const std::string local = Download("/full");
  EXPECT_EQ(events_.Last(), "complete");
  ASSERT_GE(events_.progress.size(), 2u);
  EXPECT_EQ(events_.progress.back(), 100000);
  EXPECT_EQ(events_.progress[events_.progress.size() - 2], 100000) << "the last progress repeats the total";
  for (std::size_t i = 1; i < events_.progress.size(); ++i) {
    EXPECT_LE(events_.progress[i] - events_.progress[i - 1], 2048) << "blocks of at most 2048 bytes";
  }
  const auto written = Contents(local);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->size(), 100000u);
  EXPECT_TRUE(*written == Pattern(100000)) << "the file differs from the generated bytes";
  EXPECT_FALSE(control_->SessionOpen());
}

TEST_F(WineTransferTest, RequestInformationReadsTheHeadersOfTheResource) {
  ThroughTheServerAsProxy();
  control_->Url(Address("/full"));
  control_->RequestInformation();
  EXPECT_TRUE(control_->FileExists());
  EXPECT_EQ(control_->FileSize(), 100000);
  EXPECT_EQ(control_->LastModified(), "Sat, 05 Dec 2026 10:00:00 GMT");
  const auto requests = MyRequests();
  ASSERT_EQ(requests.size(), 1u) << Requests(requests);
  EXPECT_EQ(requests[0].method, "HEAD");
  EXPECT_EQ(requests[0].target, ProxyHeadTarget("/full"));
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
  EXPECT_EQ(http_.verbs, (std::vector<std::string>{"HEAD", "GET"}));
  EXPECT_FALSE(control_->FileExists()) << "no response to the HEAD";
  EXPECT_EQ(control_->LastModified(), "Not Available");
  EXPECT_EQ(control_->FileSize(), -1);
  const auto requests = MyRequests();
  ASSERT_EQ(requests.size(), 1u) << Requests(requests);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/full?" + token_);
}

// --- Empty and block-sized bodies.

TEST_F(WineTransferTest, EmptyBodyGivesEmptyTextAndAnEmptyFile) {
  EXPECT_EQ(control_->syncGET(Address("/empty")), "");
  const std::string local = Download("/empty");
  EXPECT_EQ(events_.events, (std::vector<std::string>{"progress 0", "complete"}));
  const auto written = Contents(local);
  ASSERT_TRUE(written) << "the local file is created";
  EXPECT_EQ(*written, "");
}

TEST_F(WineTransferTest, BodyOfExactlyOneBlock) {
  EXPECT_TRUE(control_->syncGET(Address("/exact2048")) == Pattern(2048));
  const std::string local = Download("/exact2048");
  EXPECT_EQ(events_.events, (std::vector<std::string>{"progress 2048", "progress 2048", "complete"}));
  const auto written = Contents(local);
  ASSERT_TRUE(written);
  EXPECT_TRUE(*written == Pattern(2048));
}

// --- Connections that break in the body: 4096 bytes announced, the
// connection closed after N.

class WineDisconnectTest : public WineTransferTest, public ::testing::WithParamInterface<int> {};

TEST_P(WineDisconnectTest, SyncGetReturnsEmptyText) {
  EXPECT_EQ(control_->syncGET(Address("/cut" + std::to_string(GetParam()))).size(), 0u);
  EXPECT_FALSE(control_->SessionOpen()) << "a failed read closes the session";
}

TEST_P(WineDisconnectTest, DownloadFailsWithCouldNotReadAndKeepsWhatArrived) {
  const int cut = GetParam();
  const std::string local = Download("/cut" + std::to_string(cut));
  EXPECT_EQ(events_.Last(), "error Could not read Url");
  for (const std::int32_t total : events_.progress) {
    EXPECT_LE(total, cut);
  }
  const auto written = Contents(local);
  ASSERT_TRUE(written) << "the address opened, so the file exists";
  EXPECT_TRUE(*written == Pattern(written->size())) << "what arrived is a prefix of the body";
  EXPECT_EQ(written->size(), static_cast<std::size_t>(cut)) << "every byte that arrived is kept";
  EXPECT_FALSE(control_->SessionOpen());
}

INSTANTIATE_TEST_SUITE_P(AtByte, WineDisconnectTest, ::testing::Values(0, 1, 2047, 2048, 2049));

// --- Content-Length that lies.

TEST_F(WineTransferTest, BodyShorterThanItsLengthIsAFailure) {
  EXPECT_EQ(control_->syncGET(Address("/lie-long")).size(), 0u);
  const std::string local = Download("/lie-long");
  EXPECT_EQ(events_.Last(), "error Could not read Url");
  const auto written = Contents(local);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->size(), 3000u);
}

// 1000 bytes announced, 3000 sent, then the connection closed. Wine's
// WinINet reads on past the announced length to the close, so the control
// gets all 3000; WinINet on Windows is expected to stop at 1000. Either way
// the bytes are the server's, in order, and the transfer counts as whole.
TEST_F(WineTransferTest, BodyLongerThanItsLengthIsTakenAsWinInetReadsIt) {
  const std::string body = control_->syncGET(Address("/lie-short"));
  EXPECT_TRUE(body == Pattern(1000) || body == Pattern(3000)) << body.size() << " bytes";
  RecordProperty("syncGET_bytes", static_cast<int>(body.size()));
  const std::string local = Download("/lie-short");
  EXPECT_EQ(events_.Last(), "complete");
  const auto written = Contents(local);
  ASSERT_TRUE(written);
  EXPECT_TRUE(*written == Pattern(written->size()) && (written->size() == 1000 || written->size() == 3000))
      << written->size() << " bytes";
  RecordProperty("download_bytes", static_cast<int>(written->size()));
}

// --- Error pages.

class WineErrorPageTest : public WineTransferTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WineErrorPageTest, SyncGetReturnsEmptyTextThoughTheServerSentABody) {
  EXPECT_EQ(control_->syncGET(Address(GetParam())), "");
  const auto gets = Gets(MyRequests());
  EXPECT_EQ(gets.size(), 1u) << "the page was asked for";
}

TEST_P(WineErrorPageTest, DownloadFailsWithCouldNotFindAndCreatesNoFile) {
  const std::string local = Download(GetParam());
  EXPECT_EQ(events_.events, (std::vector<std::string>{"error Could not find Url"}));
  EXPECT_FALSE(Exists(local));
  EXPECT_TRUE(control_->SessionOpen()) << "an address that cannot be opened leaves the session open";
}

INSTANTIATE_TEST_SUITE_P(Status, WineErrorPageTest, ::testing::Values("/missing", "/broken"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                           return std::string(param.param + 1);
                         });

TEST_F(WineTransferTest, A404WithAnotherReasonPhraseCountsAsExisting) {
  ThroughTheServerAsProxy();
  control_->Url(Address("/missing"));
  control_->RequestInformation();
  EXPECT_TRUE(control_->FileExists()) << "only \"404 File Not Found\" means missing";
}

// --- Slow and chunked bodies.

TEST_F(WineTransferTest, DrippingBodyArrivesWhole) {
  EXPECT_TRUE(control_->syncGET(Address("/drip")) == Pattern(6000));
  const std::string local = Download("/drip");
  EXPECT_EQ(events_.Last(), "complete");
  EXPECT_EQ(events_.progress.back(), 6000);
  const auto written = Contents(local);
  ASSERT_TRUE(written);
  EXPECT_TRUE(*written == Pattern(6000));
}

TEST_F(WineTransferTest, ChunkedBodyArrivesWhole) {
  EXPECT_TRUE(control_->syncGET(Address("/chunked")) == Pattern(10000));
  const std::string local = Download("/chunked");
  EXPECT_EQ(events_.Last(), "complete");
  const auto written = Contents(local);
  ASSERT_TRUE(written);
  EXPECT_TRUE(*written == Pattern(10000));
}

// A chunked body (no Content-Length) cut inside a chunk, with no final
// chunk: Wine's WinINet reports the cut as the end of the body (a read of 0
// bytes that succeeds), so the control cannot tell it from a whole body and
// returns the 4500 bytes that came. What it returns is never wrong bytes.
TEST_F(WineTransferTest, ChunkedBodyCutInsideAChunkLooksWholeToWinInet) {
  const std::string body = control_->syncGET(Address("/chunked-cut"));
  EXPECT_TRUE(body.empty() || body == Pattern(4500)) << body.size() << " bytes";
  RecordProperty("syncGET_bytes", static_cast<int>(body.size()));
}

// --- Resuming.

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
  const auto written = Contents(local);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->size(), 12000u);
  EXPECT_TRUE(*written == Pattern(12000)) << "the new bytes follow the old ones";

  const auto requests = MyRequests();
  ASSERT_EQ(requests.size(), 1u) << Requests(requests);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].Header("Range"), "bytes=5000-") << Requests(requests);
}

INSTANTIATE_TEST_SUITE_P(Reply, WineResumeTest, ::testing::Values("/resume-206", "/resume-200"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                           return std::string(param.param + 1) == "resume-206" ? "Partial206" : "Whole200";
                         });

TEST_F(WineTransferTest, StartDownloadEmptiesALongerExistingFile) {
  const std::string local = LocalPath("download.bin");
  WriteFile(local, std::string(20000, 'x'));
  Download("/exact2048");
  EXPECT_EQ(events_.Last(), "complete");
  const auto written = Contents(local);
  ASSERT_TRUE(written);
  EXPECT_TRUE(*written == Pattern(2048)) << "no stale tail of " << written->size() - 2048 << " bytes";
}

// --- What the server sees.

TEST_F(WineTransferTest, EveryRequestCarriesTheUserAgent) {
  ThroughTheServerAsProxy();
  control_->syncGET(Address("/text"));
  const auto requests = MyRequests();
  ASSERT_EQ(requests.size(), 2u) << Requests(requests);
  for (const LoggedRequest& request : requests) {
    EXPECT_EQ(request.Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; LUMO)")
        << request.Describe();
  }
}

TEST_F(WineTransferTest, FirstCallSendsHeadThenGetAndTheSecondOnlyAGetInANewSession) {
  ThroughTheServerAsProxy();
  const std::string address = Address("/text");
  EXPECT_EQ(control_->syncGET(address), "Hello from the loopback back office.");
  EXPECT_FALSE(control_->SessionOpen());
  EXPECT_EQ(control_->syncGET(address), "Hello from the loopback back office.");
  EXPECT_FALSE(control_->SessionOpen());

  const auto requests = MyRequests();
  ASSERT_EQ(requests.size(), 3u) << Requests(requests);
  EXPECT_EQ(requests[0].method, "HEAD");
  EXPECT_EQ(requests[0].target, ProxyHeadTarget("/text"));
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].target, ProxyTarget("/text"));
  EXPECT_EQ(requests[2].method, "GET");
  EXPECT_EQ(requests[2].target, ProxyTarget("/text"));
  EXPECT_EQ(http_.opens.size(), 2u) << "each call opened a session of its own";
  EXPECT_EQ(http_.verbs, (std::vector<std::string>{"HEAD", "GET", "GET"}));
}

TEST_F(WineTransferTest, GetsAskCachesForFreshData) {
  control_->syncGET(Address("/text"));
  Download("/exact2048");
  const auto gets = Gets(MyRequests());
  ASSERT_EQ(gets.size(), 2u) << Requests(gets);
  for (const LoggedRequest& get : gets) {
    EXPECT_EQ(get.Header("Pragma"), "no-cache") << get.Describe();
    // Wine's WinINet sends Pragma alone; Windows may add Cache-Control.
    if (const auto cacheControl = get.Header("Cache-Control")) {
      EXPECT_EQ(*cacheControl, "no-cache") << get.Describe();
    }
  }
}

// --- Through a proxy.

TEST_F(WineTransferTest, NamedProxyGetsAbsoluteTargets) {
  ThroughTheServerAsProxy();
  EXPECT_EQ(control_->syncGET(Address("/proxied")), "Through the proxy.");
  ASSERT_EQ(http_.opens.size(), 1u);
  EXPECT_EQ(http_.opens[0].accessType, hta::kInternetOpenTypeProxy);
  EXPECT_EQ(http_.opens[0].proxy, "127.0.0.1:" + std::to_string(Server().Port()));

  const auto requests = MyRequests();
  ASSERT_EQ(requests.size(), 2u) << Requests(requests);
  EXPECT_EQ(requests[0].method, "HEAD");
  EXPECT_EQ(requests[0].target, ProxyHeadTarget("/proxied"));
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].target, ProxyTarget("/proxied"));
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
  const std::string credentials = "Basic aHRhLXByb3h5OnByMHh5LXNlY3JldA==";  // hta-proxy:pr0xy-secret
  const auto authorization = [](const LoggedRequest& request) {
    return request.Header("Proxy-Authorization").value_or("(none)");
  };

  // Without credentials nothing gets through.
  const std::string anonymous = token_ + "-anonymous";
  useProxy(*control_);
  EXPECT_EQ(control_->syncGET(proxy->Url("/proxied?" + anonymous)), "");
  const auto refused = proxy->RequestsWith(anonymous);
  ASSERT_EQ(refused.size(), 2u) << Requests(refused);
  EXPECT_EQ(refused[0].method, "HEAD");
  EXPECT_EQ(refused[1].method, "GET");
  for (const LoggedRequest& request : refused) {
    EXPECT_EQ(authorization(request), "(none)") << request.Describe();
  }

  // With them: the first transfer, then a second one.
  const std::string named = token_ + "-named";
  InternetFile control(http_, pump_, files_);
  control.InitProperties();
  useProxy(control);
  control.ProxyUser("hta-proxy");
  control.ProxyPassword("pr0xy-secret");
  EXPECT_EQ(control.syncGET(proxy->Url("/proxied?" + named)), "Through the authenticating proxy.");
  EXPECT_EQ(control.syncGET(proxy->Url("/proxied?" + named)), "") << "the second transfer is refused";

  const auto requests = proxy->RequestsWith(named);
  std::vector<std::string> seen;
  for (const LoggedRequest& request : requests) {
    seen.push_back(request.method + " " + authorization(request));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "HEAD (none)",          // 407
                      "HEAD " + credentials,  // sent again with the options: 200
                      "GET (none)",           // same session: 407
                      "GET " + credentials,   // sent again with the session's options: 200
                      "GET (none)",           // new session, no HEAD: 407, not sent again
                  }))
      << Requests(requests);
}

}  // namespace
