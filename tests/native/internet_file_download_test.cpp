// The transfer control's download in batches, its events, its cancel and its
// resume.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "internet_file_fixture.h"
#include "transfer/internet_file.h"

namespace hta::testing {
namespace {

constexpr char kUrl[] = "http://h/app.hta";
constexpr char kFile[] = "C:\\Temp\\hta\\app.hta.temp";

class InternetFileDownload : public InternetFileFixture {
 protected:
  InternetFileDownload() {
    Control().Url(kUrl);
    Control().LocalFile(kFile);
  }

  // Downloads a resource of `size` bytes, arriving in batches of 2048, and
  // returns its events.
  Lines Start(std::size_t size) {
    http.SetGet(kUrl, Reply{.body = Resource(size), .largestRead = 2048});
    Control().StartDownload();
    return events.events;
  }
};

// --- Failures.

// It keeps the batches already written and closes the file before the error.
TEST_F(InternetFileDownload, AReadFailureKeepsWhatWasReadInAClosedFile) {
  events.onEvent = [&](const std::string& event) {
    EXPECT_EQ(files.openWriters, event.starts_with("error") ? 0u : 1u);
  };
  http.SetGet(kUrl, Reply{.body = Resource(10000), .failingRead = 3, .largestRead = 2048});
  Control().StartDownload();
  EXPECT_EQ(events.events, (Lines{"progress 2048", "progress 4096", "error [Could not read Url]"}));
  EXPECT_EQ(File(kFile), Resource(4096));

  // A file that would grow past the limit is removed.
  events.events.clear();
  TransferLimits limits = kTransferLimits;
  limits.fileBytes = 4096;
  Control().SetLimits(limits);
  EXPECT_EQ(Start(4097), (Lines{"progress 2048", "progress 4096", "error [Could not read Url]"}));
  EXPECT_EQ(File(kFile), std::nullopt);
}

TEST_F(InternetFileDownload, ALocalFileThatCannotBeWrittenFailsTheDownload) {
  files.Put(kFile, "locked");
  files.MarkUnreadable(kFile);
  Serve(kUrl, Resource(100));
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not write LocalFile]"});
  EXPECT_EQ(File(kFile), "locked");
  // A failed write raises no progress event.
  events.events.clear();
  Control().LocalFile("C:\\Temp\\other");
  files.writesFail = true;
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not write LocalFile]"});
}

// --- Cancel.

// Even from the last progress handler, a cancel ends as cancelled with the
// same total, raised before the file is closed.
TEST_F(InternetFileDownload, CancelFromTheLastProgressHandlerEndsCancelledBeforeTheFileIsClosed) {
  events.onEvent = [&](const std::string& event) {
    if (events.events.size() == 3) {
      Control().CancelDownload();
    }
    if (event.starts_with("cancelled")) {
      EXPECT_EQ(files.openWriters, 1u);
    }
  };
  EXPECT_EQ(Start(3000), (Lines{"progress 2048", "progress 3000", "progress 3000", "cancelled 3000"}));
  EXPECT_EQ(File(kFile), Resource(3000));
  // Without an event sink a download still runs.
  Control().SetEvents(nullptr);
  Start(3001);
  EXPECT_EQ(File(kFile), Resource(3001));
}

// A cancel given while no download runs is forgotten. While a batch is held
// back by the network the window's handlers run: a cancel there ends the
// download at once, keeping the batches written, and a new transfer started
// next is not disturbed by the one given up; a transfer started there runs
// whole, and the held one goes on after it.
TEST_F(InternetFileDownload, ACancelWhileABatchIsHeldBackEndsAtOnceOneWhileNoDownloadRunsIsForgotten) {
  Control().CancelDownload();
  EXPECT_EQ(Start(100).back(), "complete");
  events.events.clear();
  // A later download's third wait (response, first batch, second batch)
  // comes after the first batch's progress event.
  pump.After(3, [&] {
    EXPECT_EQ(Control().RunningTransfers(), 1u);
    Control().CancelDownload();
  });
  EXPECT_EQ(Start(10000), (Lines{"progress 2048", "cancelled 2048"}));
  EXPECT_EQ(Control().RunningTransfers(), 0u);
  EXPECT_EQ(files.openWriters, 0u);
  EXPECT_EQ(File(kFile), Resource(2048));
  EXPECT_EQ(http.abandoned, 1u);
  Serve("http://h/next", "next");
  EXPECT_EQ(Control().syncGET("http://h/next"), "next");

  events.events.clear();
  std::string during;
  Control().Url(kUrl);  // a syncGET takes the control's address
  pump.After(3, [&] { during = Control().syncGET("http://h/next"); });
  EXPECT_EQ(Start(6000).back(), "complete");
  EXPECT_EQ(during, "next");
  EXPECT_TRUE(File(kFile) == Resource(6000));
}

// --- Resume.

// A 206 reply that does not start where the file ends, or that does not say where
// it starts, or a whole reply too short to skip the file's bytes: an error
// raised before closing, with the file untouched.
TEST_F(InternetFileDownload, AResumedReplyThatCannotBePlacedAfterTheFileIsAPositioningError) {
  const std::string kept(5000, 'L');
  struct Case {
    std::string what;
    Reply reply;
  };
  const std::vector<Case> cases = {
      {"206 from elsewhere", {.status = 206, .body = Resource(9000), .contentRange = "bytes 0-8999/9000"}},
      {"206 without Content-Range", {.status = 206, .body = Resource(4000)}},
      {"whole reply shorter than the file", {.body = Resource(3000), .contentLength = 3000}},
  };
  files.Put(kFile, kept);
  for (const Case& c : cases) {
    events.events.clear();
    http.SetGet(kUrl, c.reply);
    Control().ResumeDownload();
    EXPECT_EQ(events.events, Lines{"error [Error, while setting position]"}) << c.what;
    EXPECT_EQ(File(kFile), kept) << c.what;
  }
}

// The server refuses the range past the end (416, naming the size).
TEST_F(InternetFileDownload, AResumeOfAWholeFileCompletesWithoutReadingALongerOneIsRefused) {
  files.Put(kFile, Resource(9000));
  http.SetGet(kUrl, Reply{.body = Resource(9000), .contentLength = 9000, .honoursRanges = true});
  Control().ResumeDownload();
  EXPECT_EQ(events.events, (Lines{"progress 9000", "complete"}));
  EXPECT_EQ(File(kFile), Resource(9000));
  EXPECT_EQ(http.bodyEvents, 0u);
  events.events.clear();
  files.Put(kFile, std::string(9500, 'L'));
  Control().ResumeDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not find Url]"});
  EXPECT_EQ(File(kFile), std::string(9500, 'L'));
}

// --- Re-entry.

// Whatever wait a nested transfer runs in, no exchange is left behind, every
// GET either succeeds or fails whole, and every download ends with exactly
// one final event.
TEST(InternetFileReentrySweep, ANestedTransferInAnyWaitIsSafe) {
  enum Mode { kGetInGet, kGetInDownload, kDownloadInDownload };
  const std::string outerBody = Resource(5000, 1);
  const std::string innerBody = Resource(2100, 2);
  for (const Mode mode : {kGetInGet, kGetInDownload, kDownloadInDownload}) {
    for (std::size_t at = 1; at <= 16; ++at) {
      InternetFileRig rig;
      rig.http.SetGet("http://h/outer", Reply{.body = outerBody, .largestRead = 1000});
      rig.http.SetGet("http://h/inner", Reply{.body = innerBody, .largestRead = 1000});
      InternetFile& file = rig.Control();
      file.Url("http://h/outer");
      file.LocalFile("C:\\outer");
      std::string inner = "not run";
      rig.pump.At(at, [&] {
        if (mode == kDownloadInDownload) {
          file.Url("http://h/inner");
          file.LocalFile("C:\\inner");
          file.StartDownload();
        } else {
          inner = file.syncGET("http://h/inner");
        }
      });
      const std::string where = std::to_string(mode) + " at " + std::to_string(at);
      if (mode == kGetInGet) {
        const std::string outer = file.syncGET("http://h/outer");
        EXPECT_TRUE(outer == outerBody || outer.empty()) << where;
      } else {
        file.StartDownload();
      }
      EXPECT_TRUE(inner == innerBody || inner.empty() || inner == "not run") << where;
      const auto finals =
          std::count_if(rig.events.events.begin(), rig.events.events.end(),
                        [](const std::string& event) { return !event.starts_with("progress"); });
      const std::ptrdiff_t downloads =
          (mode != kGetInGet) + (mode == kDownloadInDownload && rig.pump.calls >= at);
      EXPECT_EQ(finals, downloads) << where;
      rig.ExpectCleanEnd(where);
    }
  }
}

}  // namespace
}  // namespace hta::testing
