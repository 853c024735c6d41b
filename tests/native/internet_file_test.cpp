// The transfer control's requests, header request and blocking GET.

#include "transfer/internet_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "internet_file_fixture.h"
#include "transfer/http_address.h"

namespace hta::testing {
namespace {

using fakes::FakeHttp;

// --- Addresses.

TEST(InternetFileAddress, SplitsAnAddressIntoItsParts) {
  // "s|host|port|path" ("s" for https), or "none".
  const auto split = [](std::string_view url) {
    const auto parsed = ParseHttpAddress(url);
    return parsed ? std::string(parsed->secure ? "s" : "") + "|" + parsed->host + "|" +
                        std::to_string(parsed->port) + "|" + parsed->path
                  : std::string("none");
  };
  EXPECT_EQ(split("http://host:8080/a/b.php?x=1/2#top"), "|host|8080|/a/b.php?x=1/2");
  EXPECT_EQ(split("HTTPS://Host/x"), "s|Host|443|/x");
  EXPECT_EQ(split("https://host:8443?q=1"), "s|host|8443|/?q=1");
  EXPECT_EQ(split("http://host"), "|host|80|");
  EXPECT_EQ(split("http://[::1]:81/x"), "|[::1]|81|/x");
  for (const char* bad : {"", "ftp://host/x", "host/x", "http:///x", "http://:80/x", "http://u:p@host/x",
                          "http://host:0/", "http://host:65536/", "http://host:8o/", "http://[::1/x"}) {
    EXPECT_EQ(split(bad), "none") << bad;
  }
}

TEST(InternetFileAddress, ControlCharactersAreRefusedAnsiLettersAreNot) {
  for (const char c : {'\0', '\x1f', '\x7f'}) {
    EXPECT_TRUE(HasControlCharacter(std::string("http://h/a") + c + "b")) << int(c);
  }
  EXPECT_FALSE(HasControlCharacter("http://h/a b~?x=%0D\x80\xff"));
}

// --- Requests.

TEST(InternetFileConnectType, ChoosesHowARequestReachesTheNetwork) {
  // How a fresh control's header request goes out, as "access proxy".
  const auto route = [](std::int32_t type, std::int16_t port) {
    InternetFileRig rig;
    rig.Control().ConnectType(type);
    rig.Control().ProxyServer("p");
    rig.Control().ProxyPort(port);
    rig.Control().Url("http://h/x");
    rig.Control().RequestInformation();
    std::string first = "none";
    if (!rig.http.requests.empty()) {
      const HttpRequest& request = rig.http.requests.front();
      first = std::to_string(static_cast<int>(request.access)) + " " +
              (request.proxy.empty() ? "-" : request.proxy);
    }
    rig.ExpectCleanEnd(first);
    return first;
  };
  EXPECT_EQ(route(0, 3128), "0 -");
  EXPECT_EQ(route(1, 32767), "1 p:32767");
  // Stored as a signed 16-bit number, but a port is never negative.
  EXPECT_EQ(route(1, static_cast<std::int16_t>(32768)), "1 p:32768");
  EXPECT_EQ(route(2, 3128), "2 -");
  // Any other type reaches nothing, so every transfer fails as an
  // unopenable address.
  EXPECT_EQ(route(3, 3128), "none");
}

class InternetFileRequests : public InternetFileFixture {};

// The header request goes once, before the first transfer, with the site's
// credentials; the GETs carry the proxy's credentials and never the site's.
TEST_F(InternetFileRequests, EachRequestCarriesOnlyItsOwnCredentials) {
  Serve("http://h/ok", "fine");
  Control().SiteUser("site");
  Control().SitePassword("s3cret");
  Control().ProxyUser("proxyuser");
  Control().ProxyPassword("proxypass");
  Control().Url("http://h/x");
  EXPECT_EQ(Control().syncGET("http://h/ok"), "fine");
  EXPECT_EQ(Control().syncGET("http://h/ok"), "fine");
  ASSERT_EQ(http.requests.size(), 3u);
  EXPECT_EQ(http.requests[0].method, "HEAD");
  EXPECT_EQ(http.requests[0].version, "HTTP/1.0");
  EXPECT_EQ(http.requests[0].siteUser + ":" + http.requests[0].sitePassword, "site:s3cret");
  for (const HttpRequest& get : {http.requests[1], http.requests[2]}) {
    EXPECT_EQ(get.method, "GET");
    EXPECT_EQ(get.siteUser + get.sitePassword, "");
    EXPECT_EQ(get.proxyUser + ":" + get.proxyPassword, "proxyuser:proxypass");
    EXPECT_EQ(get.callMilliseconds, kTransferLimits.callMilliseconds);
  }
  EXPECT_TRUE(Control().InfoRequested());
}

// The program ends while the header request waits: the GET it came before
// never goes out, and the download ends cancelled.
TEST_F(InternetFileRequests, ACancelDuringTheHeaderRequestSendsNothingMore) {
  Serve("http://h/x", "x");
  pump.After(1, [&] { Control().CancelDownload(); });
  Control().Url("http://h/x");
  Control().LocalFile("C:\\x.temp");
  Control().StartDownload();
  ASSERT_EQ(http.requests.size(), 1u);
  EXPECT_EQ(http.requests[0].method, "HEAD");
  EXPECT_EQ(events.events, Lines{"cancelled 0"});
  EXPECT_EQ(File("C:\\x.temp"), std::nullopt);
}

// --- Mended faults of the GET.

class InternetFileGet : public InternetFileFixture {};

// An HTTP status of 400 or more is a failure (the error page is never read,
// as for an address that cannot be opened); so are a failed read, a body
// shorter than its Content-Length or longer than the limit, and a link too
// slow.
TEST_F(InternetFileGet, EveryFaultyReplyFails) {
  struct Case {
    std::string what;
    Reply reply;
    bool whole;         // the body comes back; otherwise the empty text
    bool readsNothing;  // failed before the body
    TransferLimits limits = kTransferLimits;
  };
  const std::string body = Resource(3000);
  // 1 KiB in any 15 ms of the fake clock, which moves 2 ms at each reading
  // (one a batch).
  TransferLimits slow = kTransferLimits;
  slow.slowWindowMicroseconds = 15000;
  TransferLimits small = kTransferLimits;
  small.textBytes = 3000;
  const std::vector<Case> cases = {
      {"status 400", {.status = 400, .body = "<html>error page</html>"}, false, true},
      {"status 399", {.status = 399, .body = "content"}, true, false},
      {"no status", {.status = std::nullopt, .body = "content"}, true, false},
      {"second read fails", {.body = Resource(5000), .failingRead = 2}, false, false},
      {"one byte short", {.body = body, .contentLength = 3001}, false, false},
      {"exactly as long", {.body = body, .contentLength = 3000}, true, false},
      {"100 bytes at a time", {.body = body, .largestRead = 100}, false, false, slow},
      {"1 KiB at a time", {.body = Resource(9000), .largestRead = 1024}, true, false, slow},
      {"as long as the limit", {.body = body}, true, false, small},
      {"one byte past the limit", {.body = Resource(3001)}, false, false, small},
  };
  for (const Case& c : cases) {
    http.SetGet("http://h/x", c.reply);
    Control().SetLimits(c.limits);
    const std::size_t reads = http.bodyEvents;
    EXPECT_TRUE(Control().syncGET("http://h/x") == (c.whole ? c.reply.body : "")) << c.what;
    EXPECT_EQ(c.readsNothing, http.bodyEvents == reads) << c.what;
  }
}

// An address with a control character is never opened; where HTTPS is
// required, neither is one that is not https, and a response that did not
// come over TLS is never read: all fail as an unopenable address.
TEST_F(InternetFileGet, UnsafeAddressesAreNeverOpened) {
  const std::string evil = "http://h/x\r\nX-Evil: 1";
  Serve(evil, "must not be fetched");
  EXPECT_EQ(Control().syncGET(evil), "");
  Control().RequireHttps(true);
  Serve("http://h/x", "plain");
  EXPECT_EQ(Control().syncGET("http://h/x"), "");
  EXPECT_EQ(http.requests.size(), 0u);

  http.SetGet("https://h/moved", Reply{.body = "plain again", .redirectedToHttp = true});
  EXPECT_EQ(Control().syncGET("https://h/moved"), "");
  EXPECT_EQ(http.bodyEvents, 0u);

  // An https address goes out over TLS to its own host and port.
  Serve("https://h:8443/x", "over TLS");
  EXPECT_EQ(Control().syncGET("HTTPS://h:8443/x"), "over TLS");

  Control().Url("http://h/x");
  Control().LocalFile("C:\\x.temp");
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not find Url]"});
  EXPECT_EQ(File("C:\\x.temp"), std::nullopt);
}

}  // namespace
}  // namespace hta::testing
