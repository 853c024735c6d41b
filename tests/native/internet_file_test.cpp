// The transfer control's session, header request and blocking GET.

#include "transfer/internet_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "internet_file_fixture.h"

namespace hta::testing {
namespace {

using fakes::FakeHttp;

// --- Address splitting.

TEST(InternetFileSplitUrl, TakesOffOnlyLowerCaseHttpAndCutsAtTheFirstSlash) {
  // "host|path".
  const auto split = [](std::string url) {
    std::string path = "stale";
    SplitUrl(url, path);
    return url + "|" + path;
  };
  EXPECT_EQ(split("http://host/a/b.php?x=1/2"), "host|/a/b.php?x=1/2");
  EXPECT_EQ(split("http://host"), "host|");
  EXPECT_EQ(split("http://host/"), "host|/");
  EXPECT_EQ(split("http://host:8080/x"), "host:8080|/x");
  // Other schemes, and "http://" in capitals, stay: the scheme becomes the
  // host and the path starts with the two slashes.
  EXPECT_EQ(split("https://host/x"), "https:|//host/x");
  EXPECT_EQ(split("HTTP://host/x"), "HTTP:|//host/x");
  EXPECT_EQ(split("ftp://host"), "ftp:|//host");
  EXPECT_EQ(split("host/x"), "host|/x");
  EXPECT_EQ(split("http://"), "|");
  EXPECT_EQ(split(""), "|");
  // Only the first seven characters are looked at for the scheme.
  EXPECT_EQ(split("xhttp://host/x"), "xhttp:|//host/x");
  EXPECT_EQ(split("http://http://h/x"), "http:|//h/x");
}

TEST(InternetFileAddress, ControlCharactersAreRefusedAnsiLettersAreNot) {
  for (const char c : {'\0', '\t', '\n', '\r', '\x1f', '\x7f'}) {
    EXPECT_TRUE(HasControlCharacter(std::string("http://h/a") + c + "b")) << int(c);
  }
  EXPECT_FALSE(HasControlCharacter("http://h/a b~?x=%0D"));
  EXPECT_FALSE(HasControlCharacter("http://h/\x80\xe9\xff"));
  EXPECT_FALSE(HasControlCharacter(""));
}

// --- Sessions.

TEST(InternetFileConnectType, ChoosesHowTheSessionReachesTheNetwork) {
  // The first call of a fresh control's header request.
  const auto firstCall = [](std::int32_t type, const std::string& server, std::int16_t port) {
    InternetFileRig rig;
    rig.Control().ConnectType(type);
    rig.Control().ProxyServer(server);
    rig.Control().ProxyPort(port);
    rig.Control().RequestInformation();
    const std::string first = rig.http.calls.empty() ? "none" : rig.http.calls.front();
    rig.ExpectCleanEnd(first);
    return first;
  };
  EXPECT_EQ(firstCall(0, "10.0.0.1", 3128), line::Open(0));
  EXPECT_EQ(firstCall(1, "10.0.0.1", 8080), line::Open(3, "[10.0.0.1:8080]"));
  EXPECT_EQ(firstCall(1, "proxy.example", 3128), line::Open(3, "[proxy.example:3128]"));
  // An empty server still names a proxy: ":" and the port.
  EXPECT_EQ(firstCall(1, "", 8080), line::Open(3, "[:8080]"));
  // Stored as a signed 16-bit number, but a port is never negative: ports
  // above 32767 come out as themselves.
  EXPECT_EQ(firstCall(1, "p", -1), line::Open(3, "[p:65535]"));
  EXPECT_EQ(firstCall(1, "p", static_cast<std::int16_t>(40000)), line::Open(3, "[p:40000]"));
  EXPECT_EQ(firstCall(2, "10.0.0.1", 3128), line::Open(1));
}

class InternetFileSession : public InternetFileFixture {};

TEST_F(InternetFileSession, ConnectTypeOutsideZeroToTwoOpensNothingAndEveryTransferFails) {
  for (const std::int32_t type : {3, 7, -1}) {
    Control().ConnectType(type);
    Serve("http://h/x", "body");
    EXPECT_EQ(Control().syncGET("http://h/x"), "");
    Control().Url("http://h/x");
    Control().LocalFile("C:\\t\\x.temp");
    Control().StartDownload();
    EXPECT_EQ(events.events, Lines{"error [Could not find Url]"});
    events.events.clear();
    EXPECT_FALSE(Control().SessionOpen());
  }
  EXPECT_EQ(http.calls, Lines{});
  EXPECT_EQ(files.opens, Lines{});
  // The automatic header request did run, and found nothing to ask.
  EXPECT_TRUE(Control().InfoRequested());
  EXPECT_EQ(Control().FileSize(), 0);
  EXPECT_EQ(Control().LastModified(), "");
}

// Port stays 80 here: requests use the port of their address (port=0).
TEST_F(InternetFileSession, FirstTransferSendsOneHeadRequestThenTheGetAndClosesTheSession) {
  http.SetGet("http://h/x", Reply{.body = "hello"});
  EXPECT_EQ(Control().syncGET("http://h/x"), "hello");
  EXPECT_EQ(http.calls,
            (Lines{line::Open(0), line::Connect("S1", "h", "C1"), line::Head("C1", "[/x]", "R1"),
                   line::Send("R1"), line::HeadQuery("R1", 22, 19), line::Close("R1"), line::Close("C1"),
                   line::Get("S1", "http://h/x", "U1"), line::Status("U1"), line::Length("U1", false),
                   line::Read("U1", 5), line::Read("U1", 0), line::Close("U1"), line::Close("S1")}));
  EXPECT_EQ(Control().Url(), "http://h/x");
  EXPECT_FALSE(Control().SessionOpen());
}

// Its results keep their values until the next header request.
TEST_F(InternetFileSession, OnlyTheFirstTransferSendsAHeadRequestForItsOwnAddressAndEachOpensASession) {
  http.SetHead("first.example", "/one/a.hta",
               {.rawHeaders = "HTTP/1.1 200 OK\r\nLast-Modified: then\r\nContent-Length: 4\r\n\r\n"});
  Serve("http://first.example/one/a.hta", "x");
  Control().Url("http://first.example/one/a.hta");
  Control().LocalFile("C:\\t\\a.hta");
  Control().StartDownload();
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"), Lines{line::Connect("S1", "first.example", "C1")});
  EXPECT_EQ(http.CallsStartingWith("HttpOpenRequest"), Lines{line::Head("C1", "[/one/a.hta]", "R1")});
  http.calls.clear();
  Serve("http://h/b", "B");
  EXPECT_EQ(Control().syncGET("http://h/b"), "B");
  Control().StartDownload();
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"), Lines{});
  EXPECT_EQ(http.CallsStartingWith("InternetOpen "),
            (Lines{line::Open(0, "null", "S2"), line::Open(0, "null", "S3")}));
  EXPECT_TRUE(Control().FileExists());
  EXPECT_EQ(Control().LastModified(), "then");
  EXPECT_EQ(Control().FileSize(), 4);
}

// Url is set and the cancel flag cleared before the first DoEvents.
TEST_F(InternetFileSession, EveryDoEventsPointOfAFirstGetInOrder) {
  Serve("http://h/x", "hello");
  Control().CancelDownload();
  pump.At(1, [&] {
    EXPECT_EQ(Control().Url(), "http://h/x");
    EXPECT_FALSE(Control().CancelRequested());
  });
  // The number of port calls made before each DoEvents call pins down where
  // the control runs the message loop.
  std::vector<std::size_t> callsAtEach;
  pump.onEveryCall = [&](std::size_t) { callsAtEach.push_back(http.calls.size()); };
  EXPECT_EQ(Control().syncGET("http://h/x"), "hello");
  EXPECT_EQ(callsAtEach, (std::vector<std::size_t>{
                             0,   // after Url is set, before the session
                             1,   // after InternetOpen
                             1,   // header request: before its session check
                             1,   // ... and after it
                             3,   // after connect and request, before the send
                             4,   // after the send, before the query
                             5,   // after Last-Modified
                             5,   // after Content-Length
                             5,   // before closing request and connection
                             7,   // after the header request
                             10,  // before the first read (open, status, length done)
                             11,  // before the second read
                         }));
}

// The session is opened when first needed; an address that cannot be opened
// leaves it open for the next transfer, which closes it at its end. A header
// request closes its session only once a transfer has run
// (CloseSessionAfterInfo, set by every transfer, failed ones included).
TEST_F(InternetFileSession, TheSessionIsKeptAfterAnUnopenableAddressAndClosedAfterATransfer) {
  Serve("http://h/ok", "fine");
  Control().Url("http://h/x");
  Control().RequestInformation();
  EXPECT_TRUE(Control().InfoRequested());
  EXPECT_FALSE(Control().CloseSessionAfterInfo());
  EXPECT_EQ(http.OpenHandles(), Lines{"S1"});
  http.calls.clear();
  // No second header request; the session it left is used, and kept.
  EXPECT_EQ(Control().syncGET("http://h/missing"), "");
  EXPECT_EQ(http.calls.front(), line::Get("S1", "http://h/missing", "null"));
  EXPECT_TRUE(Control().CloseSessionAfterInfo());
  EXPECT_EQ(http.OpenHandles(), Lines{"S1"});
  http.calls.clear();
  EXPECT_EQ(Control().syncGET("http://h/ok"), "fine");
  EXPECT_EQ(http.calls.front(), line::Get("S1", "http://h/ok", "U1"));
  EXPECT_EQ(http.calls.back(), line::Close("S1"));
  EXPECT_FALSE(Control().SessionOpen());
  http.calls.clear();
  Control().Url("http://h/x");
  Control().RequestInformation();
  EXPECT_FALSE(Control().SessionOpen());
  EXPECT_EQ(http.calls,
            (Lines{line::Open(0, "null", "S2"), line::Connect("S2", "h", "C2"),
                   line::Head("C2", "[/x]", "R2"), line::Send("R2"), line::HeadQuery("R2", 22, 19),
                   line::Close("R2"), line::Close("C2"), line::Close("S2")}));
}

TEST_F(InternetFileSession, AFailedSessionOpenIsRetriedByTheHeadRequestAndKeptForTheNextTransfer) {
  Serve("http://h/x", "x");
  http.failingOpens = 1;
  // The GET holds on to the failed (null) session it opened; the header
  // request opens one of its own and leaves it in the field.
  EXPECT_EQ(Control().syncGET("http://h/x"), "");
  EXPECT_EQ(http.CallsStartingWith("InternetOpen "),
            (Lines{line::Open(0, "null", "null"), line::Open(0, "null", "S1")}));
  EXPECT_EQ(http.CallsStartingWith("InternetOpenUrl"), Lines{});
  EXPECT_TRUE(Control().SessionOpen());
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  EXPECT_EQ(http.CallsStartingWith("InternetOpen ").size(), 2u);
  EXPECT_FALSE(Control().SessionOpen());
}

// Every GET asks for fresh data (flags 0xa4000100, in the lines).
TEST_F(InternetFileSession, PropertyWritesDuringATransferCountFromTheNextSessionAndEveryGetAsksForFreshData) {
  Serve("http://h/x", "x");
  pump.At(3, [&] {
    Control().ConnectType(2);
    Control().ProxyServer("elsewhere");
  });
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  EXPECT_EQ(http.CallsStartingWith("InternetOpen "), Lines{line::Open(0)});
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  EXPECT_EQ(http.CallsStartingWith("InternetOpen ").back(), line::Open(1, "null", "S2"));
  EXPECT_EQ(http.CallsStartingWith("InternetOpenUrl"),
            (Lines{line::Get("S1", "http://h/x", "U1"), line::Get("S2", "http://h/x", "U2")}));
}

// --- The header request.

class InternetFileHead : public InternetFileFixture {
 protected:
  // Runs the header request for `url` with `reply`.
  void Ask(FakeHttp::HeadReply reply, const std::string& url = "http://h/x") {
    std::string host = url;
    std::string path;
    SplitUrl(host, path);
    http.SetHead(host, path, std::move(reply));
    Control().Url(url);
    Control().RequestInformation();
  }

  static FakeHttp::HeadReply Headers(std::string block) { return {.rawHeaders = std::move(block)}; }
};

// Every field is first given another value, so each case shows what it sets.
TEST_F(InternetFileHead, ReadsExistenceLastModifiedAndContentLengthOrFallsBackToTheStatusCode) {
  struct Case {
    FakeHttp::HeadReply reply;
    bool exists;
    std::string modified = "Not Available";
    std::int32_t size = -1;
  };
  const auto ok = [](const std::string& fields) { return Headers("HTTP/1.1 200 OK\r\n" + fields + "\r\n"); };
  const auto length = [&](const std::string& value) { return ok("Content-Length: " + value + "\r\n"); };
  // The block that just fits the buffer with its NUL.
  std::string fitting = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n";
  fitting.append(1023 - fitting.size() - 2, 'x').append("\r\n");
  ASSERT_EQ(fitting.size(), 1023u);
  // No header block: the status code is asked next.
  Ask({.rawHeaders = std::nullopt, .statusText = "200"});
  EXPECT_EQ(http.calls, (Lines{line::Open(0), line::Connect("S1", "h", "C1"), line::Head("C1", "[/x]", "R1"),
                               line::Send("R1"), line::HeadQuery("R1", 22, std::nullopt),
                               line::HeadQuery("R1", 19, 3), line::Close("R1"), line::Close("C1")}));
  std::vector<Case> cases = {
      {ok("Date: x\r\nLast-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\nContent-Length: 1234\r\n"), true,
       "Tue, 01 Dec 2026 10:00:00 GMT", 1234},
      {ok(""), true},
      // Names match in any case; values keep theirs.
      {ok("LAST-MODIFIED: Mon, 02 Mar 2026 GMT\r\ncontent-LENGTH: 7\r\n"), true, "Mon, 02 Mar 2026 GMT", 7},
      // The name must be followed by a colon and one space; a second space
      // belongs to the value.
      {ok("Last-Modified:Tue\r\nContent-Length:5\r\n"), true},
      {ok("Last-Modified:  Tue\r\n"), true, " Tue"},
      // The first occurrence anywhere in the block wins.
      {ok("X-Last-Modified: early\r\nLast-Modified: late\r\n"), true, "early"},
      {length("2147483647"), true, "Not Available", 2147483647},
      {length(" +12 "), true, "Not Available", 12},
      {Headers(fitting), true, "Not Available", 3},
      // The status line may come in any letter case.
      {Headers("http/1.1 200 OK\r\nContent-Length: 4\r\n\r\n"), true, "Not Available", 4},
      // Only the exact "HTTP/1.1 404 File Not Found" makes the file missing,
      // anywhere in the block.
      {Headers("HTTP/1.1 404 File Not Found\r\nContent-Length: 10\r\n\r\n"), false, "Not Available", 10},
      {ok("X-Note: HTTP/1.1 404 File Not Found\r\n"), false},
      // Without a usable header block the status code decides, with neither
      // date nor size.
      {{.rawHeaders = std::nullopt, .statusText = "200"}, true},
      {{.rawHeaders = std::nullopt, .statusText = "404"}, false},
      {{.rawHeaders = std::nullopt, .statusText = "2000"}, false},
      {{.rawHeaders = "HTTP/1.1 200 OK\r\nX-Pad: " + std::string(1100, 'p') + "\r\nContent-Length: 3\r\n\r\n",
        .statusText = "200"},
       true},
      {{.sends = false}, false},
      // Wine's WinINet fails the send to a host it cannot reach, then answers
      // the raw header query with a bare CR LF and the status code query with
      // "0".
      {{.rawHeaders = "\r\n", .statusText = "0"}, false},
      {{.rawHeaders = "\r\n", .statusText = "200"}, true},
  };
  // A Content-Length that is no 32-bit number is -1.
  for (const char* value : {"abc", "12x", "", "2147483648", "99999999999", "1.5", "+", "+-1"}) {
    cases.push_back({length(value), true});
  }
  for (const char* status :
       {"HTTP/1.1 404 Not Found", "HTTP/1.0 404 File Not Found", "HTTP/1.1 404 file not found",
        "HTTP/1.1 500 Internal Server Error", "HTTP/1.1 410 Gone"}) {
    cases.push_back({Headers(std::string(status) + "\r\n\r\n"), true});
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    Ask(Headers(std::string(c.exists ? "HTTP/1.1 404 File Not Found" : "HTTP/1.1 200 OK") +
                "\r\nLast-Modified: then\r\nContent-Length: 9\r\n\r\n"));
    Ask(c.reply);
    const std::string what = std::to_string(i) + " " + c.reply.rawHeaders.value_or("(no block)");
    EXPECT_EQ(Control().FileExists(), c.exists) << what;
    EXPECT_EQ(Control().LastModified(), c.modified) << what;
    EXPECT_EQ(Control().FileSize(), c.size) << what;
  }
}

// Only "http://" is taken off: an https address is asked of a host named
// after its scheme, but fetched whole. An address without a path asks for the
// root (a null path).
TEST_F(InternetFileHead, TheHeadRequestGoesToTheSplitAddress) {
  http.SetHead("https:", "//h/x", {.sends = false});
  Serve("https://h/x", "secure");
  EXPECT_EQ(Control().syncGET("https://h/x"), "secure");
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"), Lines{line::Connect("S1", "https:", "C1")});
  EXPECT_EQ(http.CallsStartingWith("HttpOpenRequest"), Lines{line::Head("C1", "[//h/x]", "R1")});
  EXPECT_FALSE(Control().FileExists());
  Ask({}, "http://h");
  EXPECT_EQ(http.CallsStartingWith("HttpOpenRequest").back(), line::Head("C2", "null", "R2"));
}

TEST_F(InternetFileHead, SiteCredentialsGoWithTheConnectionOnlyWhenThereIsAUser) {
  struct Case {
    std::string user, password, sentUser, sentPassword;
  };
  const std::vector<Case> cases = {
      {"user", "secret", "[user]", "[secret]"},
      // The password alone is not passed; the test is on the user's length.
      {"", "secret", "null", "null"},
      // A user without a password passes the empty password.
      {"user", "", "[user]", "[]"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    Control().SiteUser(c.user);
    Control().SitePassword(c.password);
    http.calls.clear();
    Ask({});
    EXPECT_EQ(http.CallsStartingWith("InternetConnect"),
              Lines{line::Connect("S1", "h", "C" + std::to_string(i + 1), c.sentUser, c.sentPassword)})
        << c.user << "/" << c.password;
  }
}

TEST_F(InternetFileHead, ProxyCredentialsAreSetOnTheHeadRequestOnlyEachWhenNotEmptyWithItsNul) {
  Control().ProxyUser("pu");
  Control().ProxyPassword("pass");
  Serve("http://h/x", "x");
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  EXPECT_EQ(Lines(http.calls.begin() + 2, http.calls.begin() + 6),
            (Lines{line::Head("C1", "[/x]", "R1"), "InternetSetOption R1 option=43 [pu\\0] size=3 -> true",
                   "InternetSetOption R1 option=44 [pass\\0] size=5 -> true", line::Send("R1")}));
  // The GET carries none.
  EXPECT_EQ(http.CallsStartingWith("InternetSetOption").size(), 2u);
  http.calls.clear();
  Control().ProxyUser("");
  Control().RequestInformation();
  EXPECT_EQ(http.CallsStartingWith("InternetSetOption"),
            Lines{"InternetSetOption R2 option=44 [pass\\0] size=5 -> true"});
}

TEST_F(InternetFileHead, WithoutARequestHandleOrWithAControlCharacterTheResultsKeepTheirValues) {
  Ask(Headers("HTTP/1.1 404 File Not Found\r\nLast-Modified: then\r\nContent-Length: 9\r\n\r\n"));
  ASSERT_EQ(Control().LastModified(), "then");
  http.calls.clear();
  Control().ProxyUser("pu");
  Ask({.opensRequest = false});
  EXPECT_FALSE(Control().FileExists());
  EXPECT_EQ(Control().LastModified(), "then");
  EXPECT_EQ(Control().FileSize(), 9);
  // Nothing is asked of a request that is not there, and the null handle is
  // never closed.
  EXPECT_EQ(http.calls,
            (Lines{line::Connect("S1", "h", "C2"), line::Head("C2", "[/x]", "null"), line::Close("C2")}));
  // A connection that cannot be made does not get that far.
  http.calls.clear();
  http.failingConnects.insert("h");
  Ask(Headers("HTTP/1.1 200 OK\r\n\r\n"));
  EXPECT_EQ(http.calls, Lines{line::Connect("S1", "h", "null")});
  EXPECT_EQ(Control().LastModified(), "then");
  // An address with a control character is not asked at all.
  http.calls.clear();
  Control().Url("http://h/x\r\nX-Injected: 1");
  Control().RequestInformation();
  EXPECT_EQ(http.calls, Lines{});
  EXPECT_EQ(Control().FileSize(), 9);
}

// --- Mended faults of the GET.

class InternetFileGet : public InternetFileFixture {};

// An HTTP status of 400 or more is a failure (the error page is never read and
// the session stays, as for an address that cannot be opened); a failed read
// and a body shorter than its Content-Length fail and close the session; an
// empty body is the empty text.
TEST_F(InternetFileGet, ErrorStatusesFailedReadsShortAndEmptyBodiesFailOtherBodiesComeWhole) {
  struct Case {
    std::string what;
    Reply reply;
    bool whole;         // the body comes back; otherwise the empty text
    bool keepsSession;  // failed before reading
  };
  const std::string page = "<html>error page</html>";
  const std::string body = Resource(3000);
  const std::string blocks = Resource(2048 * 3 + 17);
  const std::vector<Case> cases = {
      {"status 400", {.status = 400, .body = page}, false, true},
      {"status 404", {.status = 404, .body = page}, false, true},
      {"status 500", {.status = 500, .body = page}, false, true},
      {"status 503", {.status = 503, .body = page}, false, true},
      {"status 200", {.status = 200, .body = "content"}, true, false},
      {"status 203", {.status = 203, .body = "content"}, true, false},
      {"status 399", {.status = 399, .body = "content"}, true, false},
      {"no status", {.status = std::nullopt, .body = "content"}, true, false},
      // A failed read drops what was read and closes the session.
      {"second read fails", {.body = Resource(5000), .failingRead = 2}, false, false},
      {"one byte short", {.body = body, .contentLength = 3001}, false, false},
      {"empty, announced as 1", {.body = "", .contentLength = 1}, false, false},
      {"exactly as long", {.body = body, .contentLength = 3000}, true, false},
      {"no length", {.body = body}, true, false},
      {"longer than its length", {.body = body, .contentLength = 10}, true, false},
      {"empty", {.body = "", .contentLength = 0}, false, false},
      // Byte for byte across blocks, and when the server sends less than
      // asked.
      {"several blocks", {.body = blocks, .contentLength = 2048 * 3 + 17}, true, false},
      {"trickle", {.body = blocks, .largestRead = 100}, true, false},
  };
  for (const Case& c : cases) {
    http.SetGet("http://h/x", c.reply);
    http.calls.clear();
    EXPECT_EQ(Control().syncGET("http://h/x"), c.whole ? c.reply.body : "") << c.what;
    EXPECT_EQ(Control().SessionOpen(), c.keepsSession) << c.what;
    if (c.keepsSession) {
      EXPECT_EQ(http.CallsStartingWith("InternetReadFile"), Lines{}) << c.what;
    }
  }
}

TEST_F(InternetFileGet, AnAddressWithAControlCharacterIsNeverOpened) {
  for (const std::string& url : {std::string("http://h/x\r\nX-Evil: 1"), std::string("http://h/x\ty"),
                                 std::string("http://h/\x7f"), std::string("http://h/x\0y", 12)}) {
    Serve(url, "must not be fetched");
    EXPECT_EQ(Control().syncGET(url), "");
  }
  EXPECT_EQ(http.CallsStartingWith("InternetOpenUrl"), Lines{});
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"), Lines{});
  // It fails as an unopenable address: the session stays.
  EXPECT_TRUE(Control().SessionOpen());
}

// --- Re-entry.

class InternetFileReentry : public InternetFileFixture {};

TEST_F(InternetFileReentry, AGetNestedAtTheFirstDoEventsRunsWholeBeforeTheOuterOne) {
  Serve("http://h/outer", "outer");
  Serve("http://h/inner", "inner");
  std::string inner;
  pump.At(1, [&] { inner = Control().syncGET("http://h/inner"); });
  EXPECT_EQ(Control().syncGET("http://h/outer"), "outer");
  EXPECT_EQ(inner, "inner");
  // The inner one took the header request, for its own address.
  EXPECT_EQ(http.CallsStartingWith("HttpOpenRequest"), Lines{line::Head("C1", "[/inner]", "R1")});
  // Url is shared: the inner GET's address stays in it.
  EXPECT_EQ(Control().Url(), "http://h/inner");
}

TEST_F(InternetFileReentry, AGetNestedInTheReadLoopClosesTheSharedSessionAndTheOuterOneFails) {
  Serve("http://h/outer", Resource(5000));
  Serve("http://h/inner", "inner");
  std::string inner;
  bool started = false;
  // Inside the outer's second read pass.
  pump.onEveryCall = [&](std::size_t) {
    if (http.CallsStartingWith("InternetReadFile").size() == 1 && !started) {
      started = true;
      inner = Control().syncGET("http://h/inner");
    }
  };
  EXPECT_EQ(Control().syncGET("http://h/outer"), "");
  EXPECT_EQ(inner, "inner");
  // The inner GET used the outer's session and closed it; the outer read
  // then failed, and the outer closed only its stream.
  const Lines closes = http.CallsStartingWith("InternetCloseHandle");
  EXPECT_EQ(closes, (Lines{line::Close("R1"), line::Close("C1"), line::Close("U2"), line::Close("S1"),
                           line::Close("U1")}));
}

}  // namespace
}  // namespace hta::testing
