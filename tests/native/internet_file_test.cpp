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

struct SplitCase {
  std::string url;
  std::string host;
  std::string path;
};

TEST(InternetFileSplitUrl, TakesOffOnlyLowerCaseHttpAndCutsAtTheFirstSlash) {
  const std::vector<SplitCase> cases = {
      {"http://host/a/b.php?x=1/2", "host", "/a/b.php?x=1/2"},
      {"http://host", "host", ""},
      {"http://host/", "host", "/"},
      {"http://host:8080/x", "host:8080", "/x"},
      // Other schemes, and "http://" in capitals, stay: the scheme becomes
      // the host and the path starts with the two slashes.
      {"https://host/x", "https:", "//host/x"},
      {"HTTP://host/x", "HTTP:", "//host/x"},
      {"ftp://host", "ftp:", "//host"},
      {"host/x", "host", "/x"},
      {"http://", "", ""},
      {"", "", ""},
      // Only the first seven characters are looked at for the scheme.
      {"xhttp://host/x", "xhttp:", "//host/x"},
      {"http://http://h/x", "http:", "//h/x"},
  };
  for (const SplitCase& c : cases) {
    std::string host = c.url;
    std::string path = "stale";
    SplitUrl(host, path);
    EXPECT_EQ(host, c.host) << c.url;
    EXPECT_EQ(path, c.path) << c.url;
  }
}

TEST(InternetFileTrimAtNul, KeepsTheTextBeforeTheFirstNul) {
  EXPECT_EQ(TrimAtNul(std::string("200\0junk\0", 9)), "200");
  EXPECT_EQ(TrimAtNul("200"), "200");
  EXPECT_EQ(TrimAtNul(std::string("\0"
                                  "200",
                                  4)),
            "");
  EXPECT_EQ(TrimAtNul(""), "");
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

class InternetFileSession : public InternetFileFixture {};

TEST_F(InternetFileSession, ConnectTypeChoosesHowTheSessionReachesTheNetwork) {
  struct Case {
    std::int32_t type;
    std::string server;
    std::int16_t port;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {0, "10.0.0.1", 3128, line::Open(0)},
      {1, "10.0.0.1", 8080, line::Open(3, "[10.0.0.1:8080]")},
      {1, "proxy.example", 3128, line::Open(3, "[proxy.example:3128]")},
      // An empty server still names a proxy: ":" and the port.
      {1, "", 8080, line::Open(3, "[:8080]")},
      // Stored as a signed 16-bit number, but a port is never negative:
      // ports above 32767 come out as themselves.
      {1, "p", -1, line::Open(3, "[p:65535]")},
      {1, "p", static_cast<std::int16_t>(40000), line::Open(3, "[p:40000]")},
      {2, "10.0.0.1", 3128, line::Open(1)},
  };
  for (const Case& c : cases) {
    FakeHttp fresh;
    fakes::FakeMessagePump freshPump;
    {
      InternetFile file(fresh, freshPump, files);
      file.InitProperties();
      file.ConnectType(c.type);
      file.ProxyServer(c.server);
      file.ProxyPort(c.port);
      file.RequestInformation();
      ASSERT_FALSE(fresh.calls.empty());
      EXPECT_EQ(fresh.calls.front(), c.expected) << c.type;
    }
    EXPECT_EQ(fresh.problems, Lines{});
    EXPECT_EQ(fresh.OpenHandles(), Lines{});
  }
}

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

TEST_F(InternetFileSession, FirstTransferSendsOneHeadRequestThenTheGetAndClosesTheSession) {
  http.SetHead("h", "/x", {.rawHeaders = "HTTP/1.1 200 OK\r\n\r\n"});
  FakeHttp::GetReply reply;
  reply.body = "hello";
  http.SetGet("http://h/x", reply);
  EXPECT_EQ(Control().syncGET("http://h/x"), "hello");
  EXPECT_EQ(http.calls, (Lines{
                            line::Open(0),
                            line::Connect("S1", "h", "C1"),
                            line::Head("C1", "[/x]", "R1"),
                            line::Send("R1"),
                            line::RawHeaders("R1", 19),
                            line::Close("R1"),
                            line::Close("C1"),
                            line::Get("S1", "http://h/x", "U1"),
                            line::Status("U1"),
                            line::Length("U1", false),
                            line::Read("U1", 5),
                            line::Read("U1", 0),
                            line::Close("U1"),
                            line::Close("S1"),
                        }));
  EXPECT_EQ(Control().Url(), "http://h/x");
  EXPECT_FALSE(Control().SessionOpen());
}

TEST_F(InternetFileSession, LaterTransfersSkipTheHeadRequestAndEachOpensItsOwnSession) {
  Serve("http://h/a", "A");
  Serve("http://h/b", "B");
  EXPECT_EQ(Control().syncGET("http://h/a"), "A");
  http.calls.clear();
  EXPECT_EQ(Control().syncGET("http://h/b"), "B");
  EXPECT_EQ(http.calls, (Lines{
                            line::Open(0, "null", "S2"),
                            line::Get("S2", "http://h/b", "U2"),
                            line::Status("U2"),
                            line::Length("U2", true),
                            line::Read("U2", 1),
                            line::Read("U2", 0),
                            line::Close("U2"),
                            line::Close("S2"),
                        }));
  // A download after them does not ask either.
  http.calls.clear();
  Control().Url("http://h/a");
  Control().LocalFile("C:\\t\\a");
  Control().StartDownload();
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"), Lines{});
  EXPECT_EQ(http.CallsStartingWith("InternetOpen "), Lines{line::Open(0, "null", "S3")});
}

TEST_F(InternetFileSession, TheHeadRequestIsForTheFirstTransfersAddress) {
  Serve("http://first.example/one/a.hta", "x");
  Control().Url("http://first.example/one/a.hta");
  Control().LocalFile("C:\\t\\a.hta");
  Control().StartDownload();
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"), Lines{line::Connect("S1", "first.example", "C1")});
  EXPECT_EQ(http.CallsStartingWith("HttpOpenRequest"), Lines{line::Head("C1", "[/one/a.hta]", "R1")});
}

TEST_F(InternetFileSession, EveryDoEventsPointOfAFirstGetInOrder) {
  Serve("http://h/x", "hello");
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

TEST_F(InternetFileSession, UrlIsSetBeforeTheFirstDoEventsAndTheCancelFlagIsCleared) {
  Serve("http://h/x", "x");
  Control().CancelDownload();
  pump.At(1, [&] {
    EXPECT_EQ(Control().Url(), "http://h/x");
    EXPECT_FALSE(Control().CancelRequested());
    EXPECT_EQ(http.calls, Lines{});
  });
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
}

TEST_F(InternetFileSession, AnAddressThatCannotBeOpenedLeavesTheSessionOpenForTheNextTransfer) {
  Serve("http://h/ok", "fine");
  EXPECT_EQ(Control().syncGET("http://h/missing"), "");
  EXPECT_TRUE(Control().SessionOpen());
  EXPECT_EQ(http.OpenHandles(), Lines{"S1"});
  http.calls.clear();
  EXPECT_EQ(Control().syncGET("http://h/ok"), "fine");
  // Reused, then closed.
  EXPECT_EQ(http.CallsStartingWith("InternetOpen "), Lines{});
  EXPECT_EQ(http.calls.front(), line::Get("S1", "http://h/ok", "U1"));
  EXPECT_EQ(http.calls.back(), line::Close("S1"));
  EXPECT_FALSE(Control().SessionOpen());
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

TEST_F(InternetFileSession, AFailedReadDropsWhatWasReadAndClosesTheSession) {
  FakeHttp::GetReply reply;
  reply.body = Resource(5000);
  reply.failingRead = 2;
  http.SetGet("http://h/x", reply);
  EXPECT_EQ(Control().syncGET("http://h/x"), "");
  EXPECT_EQ(http.CallsStartingWith("InternetReadFile"),
            (Lines{line::Read("U1", 2048), line::Read("U1", 0, false)}));
  EXPECT_FALSE(Control().SessionOpen());
  const Lines tail(http.calls.end() - 2, http.calls.end());
  EXPECT_EQ(tail, (Lines{line::Close("U1"), line::Close("S1")}));
}

TEST_F(InternetFileSession, TheBodyIsKeptByteForByteAcrossBlocks) {
  const std::string body = Resource(2048 * 3 + 17);
  Serve("http://h/bin", body);
  EXPECT_EQ(Control().syncGET("http://h/bin"), body);
  EXPECT_EQ(http.CallsStartingWith("InternetReadFile").size(), 5u);

  // Servers that send less than asked change nothing.
  FakeHttp::GetReply trickle;
  trickle.body = body;
  trickle.largestRead = 100;
  http.SetGet("http://h/slow", trickle);
  EXPECT_EQ(Control().syncGET("http://h/slow"), body);
}

TEST_F(InternetFileSession, AnEmptyBodyGivesTheEmptyTextAndStillClosesTheSession) {
  Serve("http://h/empty", "");
  EXPECT_EQ(Control().syncGET("http://h/empty"), "");
  EXPECT_FALSE(Control().SessionOpen());
  EXPECT_EQ(http.calls.back(), line::Close("S1"));
}

TEST_F(InternetFileSession, PropertyWritesDuringATransferCountFromTheNextSession) {
  Serve("http://h/x", "x");
  pump.At(3, [&] {
    Control().ConnectType(2);
    Control().ProxyServer("elsewhere");
  });
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  EXPECT_EQ(http.CallsStartingWith("InternetOpen "), Lines{line::Open(0)});
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  EXPECT_EQ(http.CallsStartingWith("InternetOpen ").back(), line::Open(1, "null", "S2"));
}

// --- CloseSessionAfterInfo.

TEST_F(InternetFileSession, ADirectHeadRequestBeforeAnyTransferKeepsTheSessionForIt) {
  Control().Url("http://h/x");
  EXPECT_FALSE(Control().CloseSessionAfterInfo());
  Control().RequestInformation();
  EXPECT_TRUE(Control().InfoRequested());
  EXPECT_TRUE(Control().SessionOpen());
  http.calls.clear();
  Serve("http://h/x", "x");
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  // No second header request, and the session it left is used.
  EXPECT_EQ(http.calls.front(), line::Get("S1", "http://h/x", "U1"));
  EXPECT_TRUE(Control().CloseSessionAfterInfo());
}

TEST_F(InternetFileSession, ADirectHeadRequestAfterATransferClosesTheSessionAtItsEnd) {
  Serve("http://h/x", "x");
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  http.calls.clear();
  Control().RequestInformation();
  EXPECT_FALSE(Control().SessionOpen());
  EXPECT_EQ(http.calls, (Lines{
                            line::Open(0, "null", "S2"),
                            line::Connect("S2", "h", "C2"),
                            line::Head("C2", "[/x]", "R2"),
                            line::Send("R2"),
                            line::RawHeaders("R2", 19),
                            line::Close("R2"),
                            line::Close("C2"),
                            line::Close("S2"),
                        }));
}

TEST_F(InternetFileSession, TheFlagIsSetByEveryTransferEvenWithoutAHeadRequest) {
  Control().Url("http://h/x");
  Control().RequestInformation();
  EXPECT_FALSE(Control().CloseSessionAfterInfo());
  // The failed GET sets it too, and leaves the session open.
  EXPECT_EQ(Control().syncGET("http://h/missing"), "");
  EXPECT_TRUE(Control().CloseSessionAfterInfo());
  EXPECT_TRUE(Control().SessionOpen());
  Control().RequestInformation();
  EXPECT_FALSE(Control().SessionOpen());
}

// --- The header request.

class InternetFileHead : public InternetFileFixture {
 protected:
  // Runs the header request for http://h/x with `reply`.
  void Ask(FakeHttp::HeadReply reply, const std::string& url = "http://h/x") {
    SplitCase where{url, url, ""};
    SplitUrl(where.host, where.path);
    http.SetHead(where.host, where.path, std::move(reply));
    Control().Url(url);
    Control().RequestInformation();
  }

  static FakeHttp::HeadReply Headers(std::string block) {
    FakeHttp::HeadReply reply;
    reply.rawHeaders = std::move(block);
    return reply;
  }
};

TEST_F(InternetFileHead, ReadsLastModifiedAndContentLengthFromTheHeaderBlock) {
  Ask(
      Headers("HTTP/1.1 200 OK\r\nDate: x\r\nLast-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n"
              "Content-Length: 1234\r\n\r\n"));
  EXPECT_TRUE(Control().FileExists());
  EXPECT_EQ(Control().LastModified(), "Tue, 01 Dec 2026 10:00:00 GMT");
  EXPECT_EQ(Control().FileSize(), 1234);
}

TEST_F(InternetFileHead, HeaderNamesMatchInAnyCaseAndValuesKeepTheirs) {
  Ask(Headers("HTTP/1.1 200 OK\r\nLAST-MODIFIED: Mon, 02 Mar 2026 GMT\r\ncontent-LENGTH: 7\r\n\r\n"));
  EXPECT_EQ(Control().LastModified(), "Mon, 02 Mar 2026 GMT");
  EXPECT_EQ(Control().FileSize(), 7);
}

TEST_F(InternetFileHead, TheNameMustBeFollowedByColonAndOneSpace) {
  Ask(Headers("HTTP/1.1 200 OK\r\nLast-Modified:Tue\r\nContent-Length:5\r\n\r\n"));
  EXPECT_EQ(Control().LastModified(), "Not Available");
  EXPECT_EQ(Control().FileSize(), -1);
  // A second space belongs to the value.
  Ask(Headers("HTTP/1.1 200 OK\r\nLast-Modified:  Tue\r\n\r\n"));
  EXPECT_EQ(Control().LastModified(), " Tue");
}

TEST_F(InternetFileHead, TheFirstOccurrenceAnywhereInTheBlockWins) {
  Ask(Headers("HTTP/1.1 200 OK\r\nX-Last-Modified: early\r\nLast-Modified: late\r\n\r\n"));
  EXPECT_EQ(Control().LastModified(), "early");
}

TEST_F(InternetFileHead, AMissingOrUnreadableContentLengthIsMinusOne) {
  for (const char* value : {"abc", "12x", "", "2147483648", "99999999999", "1.5", "+", "+-1"}) {
    Ask(Headers(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + value + "\r\n\r\n"));
    EXPECT_EQ(Control().FileSize(), -1) << value;
  }
  Ask(Headers("HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\n"));
  EXPECT_EQ(Control().FileSize(), 2147483647);
  Ask(Headers("HTTP/1.1 200 OK\r\nContent-Length:  +12 \r\n\r\n"));
  EXPECT_EQ(Control().FileSize(), 12);
  Ask(Headers("HTTP/1.1 200 OK\r\n\r\n"));
  EXPECT_EQ(Control().FileSize(), -1);
  EXPECT_EQ(Control().LastModified(), "Not Available");
}

TEST_F(InternetFileHead, OnlyTheExactFileNotFoundStatusMakesTheFileMissing) {
  Ask(Headers("HTTP/1.1 404 File Not Found\r\nContent-Length: 10\r\n\r\n"));
  EXPECT_FALSE(Control().FileExists());
  EXPECT_EQ(Control().FileSize(), 10);
  for (const std::string status :
       {"HTTP/1.1 404 Not Found", "HTTP/1.0 404 File Not Found", "HTTP/1.1 404 file not found",
        "HTTP/1.1 500 Internal Server Error", "HTTP/1.1 410 Gone"}) {
    Ask(Headers(status + "\r\n\r\n"));
    EXPECT_TRUE(Control().FileExists()) << status;
  }
  // Anywhere in the block, not only in the status line.
  Ask(Headers("HTTP/1.1 200 OK\r\nX-Note: HTTP/1.1 404 File Not Found\r\n\r\n"));
  EXPECT_FALSE(Control().FileExists());
}

TEST_F(InternetFileHead, WithoutAHeaderBlockTheStatusCodeDecides) {
  FakeHttp::HeadReply reply;
  reply.rawHeaders = std::nullopt;
  reply.statusText = "200";
  Ask(reply);
  EXPECT_TRUE(Control().FileExists());
  EXPECT_EQ(Control().LastModified(), "Not Available");
  EXPECT_EQ(Control().FileSize(), -1);
  EXPECT_EQ(http.calls, (Lines{
                            line::Open(0),
                            line::Connect("S1", "h", "C1"),
                            line::Head("C1", "[/x]", "R1"),
                            line::Send("R1"),
                            line::RawHeaders("R1", std::nullopt),
                            line::StatusText("R1", 3),
                            line::Close("R1"),
                            line::Close("C1"),
                        }));
  reply.statusText = "404";
  Ask(reply);
  EXPECT_FALSE(Control().FileExists());
  reply.statusText = "2000";
  Ask(reply);
  EXPECT_FALSE(Control().FileExists());
}

TEST_F(InternetFileHead, AHeaderBlockTooLongForTheBufferFallsBackToTheStatusCode) {
  FakeHttp::HeadReply reply;
  reply.rawHeaders = "HTTP/1.1 200 OK\r\nX-Pad: " + std::string(1100, 'p') + "\r\nContent-Length: 3\r\n\r\n";
  reply.statusText = "200";
  Ask(reply);
  EXPECT_TRUE(Control().FileExists());
  EXPECT_EQ(Control().FileSize(), -1);
  EXPECT_EQ(Control().LastModified(), "Not Available");
  // The block that just fits with its NUL is read.
  reply.rawHeaders = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n";
  reply.rawHeaders->append(1023 - reply.rawHeaders->size() - 2, 'x');
  reply.rawHeaders->append("\r\n");
  ASSERT_EQ(reply.rawHeaders->size(), 1023u);
  Ask(reply);
  EXPECT_EQ(Control().FileSize(), 3);
}

TEST_F(InternetFileHead, NoResponseAtAllLeavesTheFileMissing) {
  FakeHttp::HeadReply reply;
  reply.sends = false;
  Ask(reply);
  EXPECT_FALSE(Control().FileExists());
  EXPECT_EQ(Control().LastModified(), "Not Available");
  EXPECT_EQ(Control().FileSize(), -1);
  EXPECT_EQ(http.calls.at(3), line::Send("R1", false));
}

TEST_F(InternetFileHead, AHeaderBlockWithoutAStatusLineCountsAsNoResponse) {
  // Wine's WinINet fails the send to a host it cannot reach, then answers the
  // raw header query with a bare CR LF and the status code query with "0".
  FakeHttp::HeadReply reply;
  reply.rawHeaders = "\r\n";
  reply.statusText = "0";
  Ask(reply);
  EXPECT_FALSE(Control().FileExists());
  EXPECT_EQ(Control().LastModified(), "Not Available");
  EXPECT_EQ(Control().FileSize(), -1);
  EXPECT_EQ(http.CallsStartingWith("HttpQueryInfo").size(), 2u) << "the status code decides";
  reply.statusText = "200";
  Ask(reply);
  EXPECT_TRUE(Control().FileExists());
  // The status line may come in any letter case.
  Ask(Headers("http/1.1 200 OK\r\nContent-Length: 4\r\n\r\n"));
  EXPECT_EQ(Control().FileSize(), 4);
}

TEST_F(InternetFileHead, AnHttpsAddressIsAskedOfAHostNamedAfterItsSchemeButFetchedWhole) {
  FakeHttp::HeadReply reply;
  reply.sends = false;
  http.SetHead("https:", "//h/x", reply);
  Serve("https://h/x", "secure");
  EXPECT_EQ(Control().syncGET("https://h/x"), "secure");
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"), Lines{line::Connect("S1", "https:", "C1")});
  EXPECT_EQ(http.CallsStartingWith("HttpOpenRequest"), Lines{line::Head("C1", "[//h/x]", "R1")});
  EXPECT_FALSE(Control().FileExists());
  EXPECT_EQ(Control().LastModified(), "Not Available");
  EXPECT_EQ(Control().FileSize(), -1);
}

TEST_F(InternetFileHead, AnAddressWithoutAPathAsksForTheRoot) {
  Ask(Headers("HTTP/1.1 200 OK\r\n\r\n"), "http://h");
  EXPECT_EQ(http.CallsStartingWith("HttpOpenRequest"), Lines{line::Head("C1", "null", "R1")});
}

TEST_F(InternetFileHead, SiteCredentialsGoWithTheConnectionOnlyWhenThereIsAUser) {
  Control().SiteUser("user");
  Control().SitePassword("secret");
  Ask(Headers("HTTP/1.1 200 OK\r\n\r\n"));
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"),
            Lines{line::Connect("S1", "h", "C1", "[user]", "[secret]")});
  http.calls.clear();
  // The password alone is not passed; the test is on the user's length.
  Control().SiteUser("");
  Ask(Headers("HTTP/1.1 200 OK\r\n\r\n"));
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"), Lines{line::Connect("S1", "h", "C2")});
  http.calls.clear();
  // A user without a password passes the empty password.
  Control().SiteUser("user");
  Control().SitePassword("");
  Ask(Headers("HTTP/1.1 200 OK\r\n\r\n"));
  EXPECT_EQ(http.CallsStartingWith("InternetConnect"), Lines{line::Connect("S1", "h", "C3", "[user]", "[]")});
}

TEST_F(InternetFileHead, ProxyCredentialsAreSetOnTheHeadRequestOnlyWithTheirNul) {
  Control().ProxyUser("pu");
  Control().ProxyPassword("pass");
  http.SetHead("h", "/x", Headers("HTTP/1.1 200 OK\r\n\r\n"));
  Serve("http://h/x", "x");
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  EXPECT_EQ(Lines(http.calls.begin() + 2, http.calls.begin() + 6),
            (Lines{
                line::Head("C1", "[/x]", "R1"),
                "InternetSetOption R1 option=43 [pu\\0] size=3 -> true",
                "InternetSetOption R1 option=44 [pass\\0] size=5 -> true",
                line::Send("R1"),
            }));
  // The GET carries none.
  EXPECT_EQ(http.CallsStartingWith("InternetSetOption").size(), 2u);
}

TEST_F(InternetFileHead, EachProxyCredentialIsSetOnlyWhenItIsNotEmpty) {
  Control().ProxyPassword("pass");
  Ask(Headers("HTTP/1.1 200 OK\r\n\r\n"));
  EXPECT_EQ(http.CallsStartingWith("InternetSetOption"),
            Lines{"InternetSetOption R1 option=44 [pass\\0] size=5 -> true"});
}

TEST_F(InternetFileHead, WithoutARequestHandleTheResultsKeepTheirValues) {
  Ask(Headers("HTTP/1.1 404 File Not Found\r\nLast-Modified: then\r\nContent-Length: 9\r\n\r\n"));
  ASSERT_EQ(Control().LastModified(), "then");
  FakeHttp::HeadReply reply;
  reply.opensRequest = false;
  http.calls.clear();
  Control().ProxyUser("pu");
  Ask(reply);
  EXPECT_FALSE(Control().FileExists());
  EXPECT_EQ(Control().LastModified(), "then");
  EXPECT_EQ(Control().FileSize(), 9);
  // Nothing is asked of a request that is not there, and the null handle is
  // never closed.
  EXPECT_EQ(http.calls, (Lines{
                            line::Connect("S1", "h", "C2"),
                            line::Head("C2", "[/x]", "null"),
                            line::Close("C2"),
                        }));
  // A connection that cannot be made does not get that far.
  http.calls.clear();
  http.failingConnects.insert("h");
  Ask(Headers("HTTP/1.1 200 OK\r\n\r\n"));
  EXPECT_EQ(http.calls, Lines{"InternetConnect S1 [h] port=0 user=null password=null service=3 flags=0x0 "
                              "context=0 -> null"});
  EXPECT_EQ(Control().LastModified(), "then");
}

TEST_F(InternetFileHead, AnAddressWithAControlCharacterIsNotAsked) {
  Ask(Headers("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n"));
  http.calls.clear();
  Control().Url("http://h/x\r\nX-Injected: 1");
  Control().RequestInformation();
  EXPECT_EQ(http.calls, Lines{});
  EXPECT_EQ(Control().FileSize(), 3);
}

// --- Mended faults of the GET.

class InternetFileGet : public InternetFileFixture {};

TEST_F(InternetFileGet, AnErrorStatusIsAFailureAndKeepsTheSession) {
  for (const std::uint32_t status : {400u, 404u, 500u, 503u}) {
    FakeHttp::GetReply reply;
    reply.status = status;
    reply.body = "<html>error page</html>";
    http.SetGet("http://h/x", reply);
    http.calls.clear();
    EXPECT_EQ(Control().syncGET("http://h/x"), "") << status;
    // Not a byte of the error page is read; the session stays for reuse.
    EXPECT_EQ(http.CallsStartingWith("InternetReadFile"), Lines{}) << status;
    EXPECT_TRUE(Control().SessionOpen());
  }
  EXPECT_EQ(http.OpenHandles(), Lines{"S1"});
  EXPECT_EQ(http.calls.back(), line::Close("U4"));
}

TEST_F(InternetFileGet, StatusesBelow400AndStreamsWithoutStatusAreBodies) {
  for (const std::optional<std::uint32_t> status :
       {std::optional<std::uint32_t>(200), std::optional<std::uint32_t>(203),
        std::optional<std::uint32_t>(399), std::optional<std::uint32_t>()}) {
    FakeHttp::GetReply reply;
    reply.status = status;
    reply.body = "content";
    http.SetGet("http://h/x", reply);
    EXPECT_EQ(Control().syncGET("http://h/x"), "content");
  }
}

TEST_F(InternetFileGet, ABodyShorterThanItsContentLengthIsAFailedRead) {
  FakeHttp::GetReply reply;
  reply.body = Resource(3000);
  reply.contentLength = 3001;
  http.SetGet("http://h/x", reply);
  EXPECT_EQ(Control().syncGET("http://h/x"), "");
  EXPECT_FALSE(Control().SessionOpen());
  // Exactly as long, or no length at all, is whole; a longer body too.
  for (const std::optional<std::uint32_t> length :
       {std::optional<std::uint32_t>(3000), std::optional<std::uint32_t>(),
        std::optional<std::uint32_t>(10)}) {
    reply.contentLength = length;
    http.SetGet("http://h/x", reply);
    EXPECT_EQ(Control().syncGET("http://h/x"), reply.body);
  }
}

TEST_F(InternetFileGet, AnEmptyBodyAnnouncedAsLongerIsAFailedRead) {
  FakeHttp::GetReply reply;
  reply.contentLength = 1;
  http.SetGet("http://h/x", reply);
  EXPECT_EQ(Control().syncGET("http://h/x"), "");
  EXPECT_FALSE(Control().SessionOpen());
}

TEST_F(InternetFileGet, EveryGetAsksForFreshDataOverTheExistingConnection) {
  Serve("http://h/x", "x");
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  EXPECT_EQ(Control().syncGET("http://h/x"), "x");
  const Lines gets = http.CallsStartingWith("InternetOpenUrl");
  ASSERT_EQ(gets.size(), 2u);
  for (const std::string& get : gets) {
    EXPECT_NE(get.find(" flags=0xa4000100 "), std::string::npos) << get;
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

// Whatever DoEvents call a nested GET runs in, nothing is closed twice, used
// after its close or left open, and each GET either succeeds or fails whole.
TEST(InternetFileReentrySweep, ANestedGetAtAnyDoEventsPointIsSafe) {
  for (std::size_t at = 1; at <= 40; ++at) {
    FakeHttp http;
    fakes::FakeMessagePump pump;
    TrackedFiles files;
    const std::string outerBody = Resource(4100, 1);
    const std::string innerBody = Resource(2500, 2);
    FakeHttp::GetReply outer;
    outer.body = outerBody;
    http.SetGet("http://h/outer", outer);
    FakeHttp::GetReply inner;
    inner.body = innerBody;
    http.SetGet("http://h/inner", inner);
    std::string innerResult = "not run";
    {
      InternetFile file(http, pump, files);
      file.InitProperties();
      pump.At(at, [&] { innerResult = file.syncGET("http://h/inner"); });
      const std::string outerResult = file.syncGET("http://h/outer");
      EXPECT_TRUE(outerResult == outerBody || outerResult.empty()) << at;
      EXPECT_TRUE(innerResult == innerBody || innerResult.empty() || innerResult == "not run") << at;
    }
    EXPECT_EQ(http.problems, Lines{}) << at;
    EXPECT_EQ(http.OpenHandles(), Lines{}) << at;
  }
}

}  // namespace
}  // namespace hta::testing
