// The transfer control's block-wise download, its events and its resume.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "internet_file_fixture.h"
#include "transfer/internet_file.h"

namespace hta::testing {
namespace {

using fakes::FakeHttp;

constexpr char kUrl[] = "http://h/app.hta";
constexpr char kFile[] = "C:\\Temp\\hta\\app.hta.temp";

class InternetFileDownload : public InternetFileFixture {
 protected:
  InternetFileDownload() {
    Control().Url(kUrl);
    Control().LocalFile(kFile);
  }

  // Runs a first transfer, so the next one sends no header request, and
  // sets Url back (the GET keeps its own address there).
  void Warm() {
    Serve("http://h/other", "x");
    ASSERT_EQ(Control().syncGET("http://h/other"), "x");
    Control().Url(kUrl);
    http.calls.clear();
  }

  // Downloads a resource of `size` bytes and returns its events.
  Lines Start(std::size_t size) {
    Serve(kUrl, Resource(size));
    Control().StartDownload();
    return events.events;
  }
};

// --- Events and totals.

TEST_F(InternetFileDownload, AnEmptyResourceGivesOneProgressWithZeroThenComplete) {
  EXPECT_EQ(Start(0), (Lines{"progress 0", "complete"}));
  EXPECT_EQ(File(kFile), "");
}

TEST_F(InternetFileDownload, OneByte) {
  EXPECT_EQ(Start(1), (Lines{"progress 1", "progress 1", "complete"}));
  EXPECT_EQ(File(kFile), Resource(1));
}

TEST_F(InternetFileDownload, ExactlyOneBlockReportsItsTotalTwice) {
  EXPECT_EQ(Start(2048), (Lines{"progress 2048", "progress 2048", "complete"}));
  EXPECT_EQ(File(kFile), Resource(2048));
}

TEST_F(InternetFileDownload, OneByteMoreThanABlockTakesTwoReads) {
  EXPECT_EQ(Start(2049), (Lines{"progress 2048", "progress 2049", "progress 2049", "complete"}));
  EXPECT_EQ(File(kFile), Resource(2049));
}

TEST_F(InternetFileDownload, ManyBlocksGiveOneProgressPerReadAndTheFileByteForByte) {
  const std::size_t size = 40 * 2048 + 123;
  const Lines got = Start(size);
  Lines expected;
  for (std::size_t total = 2048; total < size; total += 2048) {
    expected.push_back("progress " + std::to_string(total));
  }
  expected.push_back("progress " + std::to_string(size));
  expected.push_back("progress " + std::to_string(size));
  expected.push_back("complete");
  EXPECT_EQ(got, expected);
  EXPECT_EQ(File(kFile), Resource(size));
  EXPECT_EQ(http.CallsStartingWith("InternetReadFile").size(), 42u);
}

TEST_F(InternetFileDownload, ShortReadsAreCountedAsTheyCome) {
  FakeHttp::GetReply reply;
  reply.body = Resource(250);
  reply.largestRead = 100;
  http.SetGet(kUrl, reply);
  Control().StartDownload();
  EXPECT_EQ(events.events,
            (Lines{"progress 100", "progress 200", "progress 250", "progress 250", "complete"}));
  EXPECT_EQ(File(kFile), Resource(250));
}

TEST_F(InternetFileDownload, EverythingIsClosedWhenCompleteIsRaised) {
  events.onComplete = [&] {
    EXPECT_EQ(http.OpenHandles(), Lines{});
    EXPECT_EQ(files.openWriters, 0u);
    EXPECT_FALSE(Control().SessionOpen());
    // The handler may use the file at once (the fetch moves it into place).
    EXPECT_EQ(File(kFile), Resource(3000));
  };
  EXPECT_EQ(Start(3000).back(), "complete");
}

TEST_F(InternetFileDownload, TheCallSequenceOfALaterDownload) {
  Warm();
  Serve(kUrl, Resource(2049));
  Control().StartDownload();
  EXPECT_EQ(http.calls, (Lines{
                            line::Open(0, "null", "S2"),
                            line::Get("S2", kUrl, "U2"),
                            line::Status("U2"),
                            line::Length("U2", true),
                            line::Read("U2", 2048),
                            line::Read("U2", 1),
                            line::Read("U2", 0),
                            line::Close("U2"),
                            line::Close("S2"),
                        }));
  EXPECT_EQ(files.opens, Lines{std::string(kFile) + " truncate"});
}

TEST_F(InternetFileDownload, EveryDoEventsPointOfADownloadInOrder) {
  Warm();
  Serve(kUrl, Resource(2049));
  // Port calls and events so far, at each DoEvents call.
  std::vector<std::string> at;
  pump.onEveryCall = [&](std::size_t) {
    at.push_back(std::to_string(http.calls.size()) + "/" + std::to_string(events.events.size()));
  };
  Control().StartDownload();
  EXPECT_EQ(at, (std::vector<std::string>{
                    "0/0",  // cancel flag cleared
                    "1/0",  // session opened
                    "1/0",  // header request (not due)
                    // Pass 1: before the read, after it, after the progress,
                    // at the end of the pass.
                    "4/0",
                    "5/0",
                    "5/1",
                    "5/1",
                    // Pass 2.
                    "5/1",
                    "6/1",
                    "6/2",
                    "6/2",
                    // Pass 3, the last.
                    "6/2",
                    "7/2",
                    "7/3",
                    "7/3",
                }));
}

TEST_F(InternetFileDownload, AProgressHandlerThatChangesTheTotalChangesTheCount) {
  events.onProgress = [](std::int32_t& total) {
    if (total == 2048) {
      total = 100000;
    }
  };
  EXPECT_EQ(Start(5000),
            (Lines{"progress 2048", "progress 102048", "progress 102952", "progress 102952", "complete"}));
  // The file is not affected.
  EXPECT_EQ(File(kFile), Resource(5000));
}

TEST_F(InternetFileDownload, ATotalPushedToTheLimitStaysThere) {
  events.onProgress = [](std::int32_t& total) {
    if (total == 2048) {
      total = std::numeric_limits<std::int32_t>::max() - 10;
    }
  };
  const Lines got = Start(4096);
  EXPECT_EQ(got.at(1), "progress 2147483647");
  EXPECT_EQ(got.back(), "complete");
}

TEST_F(InternetFileDownload, WithoutAnEventSinkTheDownloadStillRuns) {
  Control().SetEvents(nullptr);
  Serve(kUrl, Resource(3000));
  Control().StartDownload();
  EXPECT_EQ(File(kFile), Resource(3000));
}

// --- Failures.

TEST_F(InternetFileDownload, AnAddressThatCannotBeOpenedRaisesOnlyTheErrorAndTouchesNoFile) {
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not find Url]"});
  EXPECT_EQ(files.opens, Lines{});
  EXPECT_FALSE(files.files.Exists(kFile));
  // The session stays for the next transfer.
  EXPECT_TRUE(Control().SessionOpen());
}

TEST_F(InternetFileDownload, AReadFailureAfterSomeBlocksKeepsThemAndClosesEverythingBeforeTheError) {
  FakeHttp::GetReply reply;
  reply.body = Resource(10000);
  reply.failingRead = 3;
  http.SetGet(kUrl, reply);
  events.onError = [&](std::string&) {
    EXPECT_EQ(http.OpenHandles(), Lines{});
    EXPECT_EQ(files.openWriters, 0u);
  };
  Control().StartDownload();
  EXPECT_EQ(events.events, (Lines{"progress 2048", "progress 4096", "error [Could not read Url]"}));
  EXPECT_EQ(File(kFile), Resource(4096));
  EXPECT_FALSE(Control().SessionOpen());
}

TEST_F(InternetFileDownload, AFailedFirstReadGivesOnlyTheError) {
  FakeHttp::GetReply reply;
  reply.body = Resource(100);
  reply.failingRead = 1;
  http.SetGet(kUrl, reply);
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not read Url]"});
  EXPECT_EQ(File(kFile), "");
}

TEST_F(InternetFileDownload, ALocalFileThatCannotBeOpenedIsAnErrorAndClosesTheTransfer) {
  files.files.Put(kFile, "locked");
  files.files.MarkUnreadable(kFile);
  Serve(kUrl, Resource(100));
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not write LocalFile]"});
  EXPECT_EQ(http.CallsStartingWith("InternetReadFile"), Lines{});
  EXPECT_FALSE(Control().SessionOpen());
  EXPECT_EQ(File(kFile), "locked");
}

TEST_F(InternetFileDownload, AFailedWriteIsAnErrorWithoutAProgressEvent) {
  Serve(kUrl, Resource(5000));
  files.files.writesFail = true;
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not write LocalFile]"});
  EXPECT_FALSE(Control().SessionOpen());
}

// --- Cancel.

TEST_F(InternetFileDownload, CancelFromAProgressHandlerEndsWithTheSameTotalAndKeepsTheBlocksRead) {
  events.onProgress = [&](std::int32_t& total) {
    if (total == 4096) {
      Control().CancelDownload();
    }
  };
  events.onCancelled = [&](std::int32_t&) {
    // Raised before anything is closed.
    EXPECT_EQ(http.OpenHandles(), (Lines{"S1", "U1"}));
    EXPECT_EQ(files.openWriters, 1u);
  };
  EXPECT_EQ(Start(10000), (Lines{"progress 2048", "progress 4096", "cancelled 4096"}));
  EXPECT_EQ(File(kFile), Resource(4096));
  EXPECT_EQ(http.CallsStartingWith("InternetReadFile").size(), 2u);
  EXPECT_FALSE(Control().SessionOpen());
}

TEST_F(InternetFileDownload, CancelInsideTheLastProgressEndsAsCancelledNotComplete) {
  events.onProgress = [&](std::int32_t& total) {
    if (events.events.size() == 3) {
      ASSERT_EQ(total, 3000);
      Control().CancelDownload();
    }
  };
  EXPECT_EQ(Start(3000), (Lines{"progress 2048", "progress 3000", "progress 3000", "cancelled 3000"}));
  EXPECT_EQ(File(kFile), Resource(3000));
}

TEST_F(InternetFileDownload, CancelFromAMessageBetweenBlocks) {
  Warm();
  Serve(kUrl, Resource(10000));
  // The 6th DoEvents call of the download is after the first read's
  // progress event.
  pump.After(6, [&] { Control().CancelDownload(); });
  Control().StartDownload();
  EXPECT_EQ(events.events, (Lines{"progress 2048", "cancelled 2048"}));
}

TEST_F(InternetFileDownload, ACancelGivenWhileNoDownloadRunsIsForgotten) {
  Control().CancelDownload();
  EXPECT_EQ(Start(100).back(), "complete");
  EXPECT_FALSE(Control().CancelRequested());
}

// --- Mended faults.

TEST_F(InternetFileDownload, AnErrorStatusNeverReachesTheFile) {
  files.files.Put(kFile, "previous");
  FakeHttp::GetReply reply;
  reply.status = 404;
  reply.body = "<html>404 Not Found</html>";
  http.SetGet(kUrl, reply);
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not find Url]"});
  EXPECT_EQ(files.opens, Lines{});
  EXPECT_EQ(File(kFile), "previous");
  EXPECT_EQ(http.CallsStartingWith("InternetReadFile"), Lines{});
  // Handled as an address that cannot be opened.
  EXPECT_TRUE(Control().SessionOpen());
}

TEST_F(InternetFileDownload, ABodyCutShortIsAReadFailure) {
  FakeHttp::GetReply reply;
  reply.body = Resource(3000);
  reply.contentLength = 5000;
  http.SetGet(kUrl, reply);
  Control().StartDownload();
  EXPECT_EQ(events.events, (Lines{"progress 2048", "progress 3000", "error [Could not read Url]"}));
  EXPECT_EQ(File(kFile), Resource(3000));
}

TEST_F(InternetFileDownload, StartDownloadEmptiesALongerFileFirst) {
  files.files.Put(kFile, std::string(10000, 'o'));
  EXPECT_EQ(Start(3).back(), "complete");
  EXPECT_EQ(File(kFile), Resource(3));
}

TEST_F(InternetFileDownload, TheGetAsksForFreshData) {
  Start(1);
  EXPECT_EQ(http.CallsStartingWith("InternetOpenUrl"), Lines{line::Get("S1", kUrl, "U1")});
}

TEST_F(InternetFileDownload, AnAddressWithAControlCharacterIsNotOpened) {
  Control().Url(std::string(kUrl) + "\r\nRange: bytes=0-");
  Serve(Control().Url(), "x");
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not find Url]"});
  EXPECT_EQ(http.CallsStartingWith("InternetOpenUrl"), Lines{});
  EXPECT_EQ(files.opens, Lines{});
}

// --- Resume.

class InternetFileResume : public InternetFileDownload {
 protected:
  // A resource of 9000 bytes; the file holds `local`.
  void Prepare(std::string local, bool honoursRanges) {
    files.files.Put(kFile, std::move(local));
    FakeHttp::GetReply reply;
    reply.body = Resource(9000);
    reply.contentLength = 9000;
    reply.honoursRanges = honoursRanges;
    http.SetGet(kUrl, reply);
  }
};

TEST_F(InternetFileResume, WithoutALocalFileItIsAStartDownload) {
  Serve(kUrl, Resource(3000));
  Control().ResumeDownload();
  EXPECT_EQ(Control().ResumePosition(), 0);
  EXPECT_EQ(http.urlHeaders, std::vector<std::optional<std::string>>{std::nullopt});
  EXPECT_EQ(files.opens, Lines{std::string(kFile) + " truncate"});
  EXPECT_EQ(events.events.back(), "complete");
  EXPECT_EQ(File(kFile), Resource(3000));
}

TEST_F(InternetFileResume, AnEmptyLocalFileIsAStartDownloadToo) {
  Prepare("", true);
  Control().ResumeDownload();
  EXPECT_EQ(http.urlHeaders, std::vector<std::optional<std::string>>{std::nullopt});
  EXPECT_EQ(File(kFile), Resource(9000));
}

TEST_F(InternetFileResume, APartialReplyIsAppendedAfterTheExistingBytes) {
  Prepare(std::string(5000, 'L'), true);
  Control().ResumeDownload();
  EXPECT_EQ(Control().ResumePosition(), 5000);
  EXPECT_EQ(http.urlHeaders, std::vector<std::optional<std::string>>{std::string("Range: bytes=5000-\r\n")});
  EXPECT_EQ(events.events, (Lines{"progress 7048", "progress 9000", "progress 9000", "complete"}));
  EXPECT_EQ(File(kFile), std::string(5000, 'L') + Resource(9000).substr(5000));
  EXPECT_EQ(files.opens, Lines{std::string(kFile) + " append"});
  EXPECT_EQ(http.CallsStartingWith("InternetOpenUrl"),
            Lines{line::Get("S1", kUrl, "U1", std::string("Range: bytes=5000-\r\n"))});
}

TEST_F(InternetFileResume, AFullReplyHasItsFirstBytesSkippedWithTheSameEventsAndFile) {
  Prepare(std::string(5000, 'L'), false);
  Control().ResumeDownload();
  EXPECT_EQ(events.events, (Lines{"progress 7048", "progress 9000", "progress 9000", "complete"}));
  EXPECT_EQ(File(kFile), std::string(5000, 'L') + Resource(9000).substr(5000));
  // 5000 bytes skipped in reads no larger than a block, then the rest.
  EXPECT_EQ(http.CallsStartingWith("InternetReadFile"),
            (Lines{line::Read("U1", 2048), line::Read("U1", 2048), line::Read("U1", 904, true, 904),
                   line::Read("U1", 2048), line::Read("U1", 1952), line::Read("U1", 0)}));
  EXPECT_EQ(http.CallsStartingWith("InternetSetFilePointer"), Lines{});
}

TEST_F(InternetFileResume, TheMessageLoopRunsBeforePositioningAndBetweenSkippedBlocks) {
  Prepare(std::string(5000, 'L'), false);
  Warm();
  std::vector<std::size_t> readsAt;
  pump.onEveryCall = [&](std::size_t) {
    readsAt.push_back(http.CallsStartingWith("InternetReadFile").size());
  };
  Control().ResumeDownload();
  // Three steps, then one before positioning, one between each skipped block,
  // then the read loop's first DoEvents.
  ASSERT_GE(readsAt.size(), 7u);
  EXPECT_EQ(std::vector<std::size_t>(readsAt.begin(), readsAt.begin() + 7),
            (std::vector<std::size_t>{0, 0, 0, 0, 1, 2, 3}));
}

TEST_F(InternetFileResume, APartialReplyThatStartsElsewhereIsAPositioningError) {
  files.files.Put(kFile, std::string(5000, 'L'));
  FakeHttp::GetReply reply;
  reply.status = 206;
  reply.body = Resource(9000);
  reply.contentRange = "bytes 0-8999/9000";
  http.SetGet(kUrl, reply);
  events.onError = [&](std::string&) {
    // Raised before closing.
    EXPECT_EQ(http.OpenHandles(), (Lines{"S1", "U1"}));
  };
  Control().ResumeDownload();
  EXPECT_EQ(events.events, Lines{"error [Error, while setting position]"});
  EXPECT_EQ(File(kFile), std::string(5000, 'L'));
  EXPECT_EQ(files.opens, Lines{});
  EXPECT_FALSE(Control().SessionOpen());
}

TEST_F(InternetFileResume, APartialReplyWithoutContentRangeIsAPositioningError) {
  files.files.Put(kFile, std::string(5000, 'L'));
  FakeHttp::GetReply reply;
  reply.status = 206;
  reply.body = Resource(4000);
  http.SetGet(kUrl, reply);
  Control().ResumeDownload();
  EXPECT_EQ(events.events, Lines{"error [Error, while setting position]"});
}

TEST_F(InternetFileResume, AFullReplyShorterThanTheFileIsAPositioningError) {
  files.files.Put(kFile, std::string(5000, 'L'));
  Serve(kUrl, Resource(3000));
  Control().ResumeDownload();
  EXPECT_EQ(events.events, Lines{"error [Error, while setting position]"});
  EXPECT_EQ(File(kFile), std::string(5000, 'L'));
}

TEST_F(InternetFileResume, AFileThatIsAlreadyWholeCompletesWithoutReading) {
  Prepare(Resource(9000), true);
  Control().ResumeDownload();
  EXPECT_EQ(events.events, (Lines{"progress 9000", "complete"}));
  EXPECT_EQ(File(kFile), Resource(9000));
  EXPECT_EQ(http.CallsStartingWith("InternetReadFile"), Lines{});
}

TEST_F(InternetFileResume, AFileLongerThanTheResourceIsRefused) {
  Prepare(std::string(9500, 'L'), true);
  Control().ResumeDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not find Url]"});
  EXPECT_EQ(File(kFile), std::string(9500, 'L'));
}

TEST_F(InternetFileResume, StartDownloadAfterAResumeStartsFromZeroAgain) {
  Prepare(std::string(5000, 'L'), true);
  Control().ResumeDownload();
  events.events.clear();
  Control().StartDownload();
  EXPECT_EQ(Control().ResumePosition(), 0);
  EXPECT_EQ(http.urlHeaders.back(), std::nullopt);
  EXPECT_EQ(events.events.front(), "progress 2048");
  EXPECT_EQ(File(kFile), Resource(9000));
}

TEST_F(InternetFileResume, AFileBeyondThirtyTwoBitPositionsIsNotTouched) {
  files.lengthOverride = std::int64_t{1} << 31;
  Prepare("kept", true);
  Control().ResumeDownload();
  EXPECT_EQ(events.events, Lines{"error [Error, while setting position]"});
  EXPECT_EQ(http.calls, Lines{});
  EXPECT_EQ(File(kFile), "kept");
}

TEST_F(InternetFileResume, TheLargestThirtyTwoBitPositionIsAskedFor) {
  files.lengthOverride = std::numeric_limits<std::int32_t>::max();
  Prepare("kept", true);
  Control().ResumeDownload();
  EXPECT_EQ(http.urlHeaders.back(), std::string("Range: bytes=2147483647-\r\n"));
  // The fake refuses it (past its end), as an unopenable address.
  EXPECT_EQ(events.events, Lines{"error [Could not find Url]"});
}

// --- Re-entry.

TEST_F(InternetFileDownload, AGetFromAProgressHandlerClosesTheSessionAndTheDownloadFailsCleanly) {
  Serve("http://h/list", "list");
  std::string list;
  events.onProgress = [&](std::int32_t& total) {
    if (total == 2048) {
      list = Control().syncGET("http://h/list");
    }
  };
  EXPECT_EQ(Start(5000), (Lines{"progress 2048", "error [Could not read Url]"}));
  EXPECT_EQ(list, "list");
  EXPECT_EQ(File(kFile), Resource(2048));
}

// Whatever DoEvents call a nested transfer runs in, nothing is closed twice,
// used after its close or left open, and every download ends with exactly one
// final event.
TEST(InternetFileDownloadSweep, ANestedTransferAtAnyDoEventsPointIsSafe) {
  for (const bool nestedDownload : {false, true}) {
    for (std::size_t at = 1; at <= 45; ++at) {
      FakeHttp http;
      fakes::FakeMessagePump pump;
      TrackedFiles files;
      RecordingEvents events;
      FakeHttp::GetReply outer;
      outer.body = Resource(5000, 1);
      http.SetGet("http://h/outer", outer);
      FakeHttp::GetReply inner;
      inner.body = Resource(2100, 2);
      http.SetGet("http://h/inner", inner);
      {
        InternetFile file(http, pump, files);
        file.InitProperties();
        file.SetEvents(&events);
        file.Url("http://h/outer");
        file.LocalFile("C:\\outer");
        pump.At(at, [&] {
          if (nestedDownload) {
            file.Url("http://h/inner");
            file.LocalFile("C:\\inner");
            file.StartDownload();
          } else {
            file.syncGET("http://h/inner");
          }
        });
        file.StartDownload();
      }
      std::size_t finals = 0;
      for (const std::string& event : events.events) {
        finals += event.rfind("progress", 0) == 0 ? 0 : 1;
      }
      const bool ran = pump.calls >= at;
      EXPECT_EQ(finals, (nestedDownload && ran) ? 2u : 1u) << at << " " << nestedDownload;
      EXPECT_EQ(http.problems, Lines{}) << at << " " << nestedDownload;
      EXPECT_EQ(http.OpenHandles(), Lines{}) << at << " " << nestedDownload;
      EXPECT_EQ(files.openWriters, 0u);
    }
  }
}

}  // namespace
}  // namespace hta::testing
