// The transfer control's block-wise download, its events and its resume.

#include <gtest/gtest.h>

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

  // Downloads a resource of `size` bytes and returns its events.
  Lines Start(std::size_t size) {
    Serve(kUrl, Resource(size));
    Control().StartDownload();
    return events.events;
  }
};

// --- Events and totals.

// One progress per read with the running total; the read of 0 bytes that ends
// the body repeats it. A longer file is emptied first, and everything is
// closed when Complete is raised, so the handler may move the file into place
// at once.
TEST_F(InternetFileDownload, OneProgressPerReadThenCompleteWithTheFileEmptiedFirstAndWrittenWhole) {
  const std::vector<std::pair<std::size_t, Lines>> cases = {
      {0, {"progress 0", "complete"}},
      {2049, {"progress 2048", "progress 2049", "progress 2049", "complete"}},
  };
  std::size_t size = 0;
  events.onEvent = [&](const std::string& event) {
    if (event != "complete") {
      return;
    }
    EXPECT_EQ(http.OpenHandles(), 0u);
    EXPECT_EQ(files.openWriters, 0u);
    EXPECT_EQ(File(kFile), Resource(size));
  };
  for (const auto& [bytes, expected] : cases) {
    size = bytes;
    files.Put(kFile, std::string(10000, 'o'));
    events.events.clear();
    EXPECT_EQ(Start(bytes), expected) << bytes;
  }
  // Without an event sink the download still runs.
  Control().SetEvents(nullptr);
  Start(3000);
  EXPECT_EQ(File(kFile), Resource(3000));
}

// --- Failures.

// It keeps the blocks already written and closes everything before the error.
TEST_F(InternetFileDownload, AReadFailureKeepsTheBlocksReadAndClosesEverythingBeforeTheError) {
  events.onEvent = [&](const std::string& event) {
    EXPECT_EQ(http.OpenHandles(), event.starts_with("error") ? 0u : 3u);
    EXPECT_EQ(files.openWriters, event.starts_with("error") ? 0u : 1u);
  };
  http.SetGet(kUrl, Reply{.body = Resource(10000), .failingRead = 3});
  Control().StartDownload();
  EXPECT_EQ(events.events, (Lines{"progress 2048", "progress 4096", "error [Could not read Url]"}));
  EXPECT_EQ(File(kFile), Resource(4096));

  // A file that would grow past the limit is removed.
  events.events.clear();
  TransferLimits limits = kTransferLimits;
  limits.fileBytes = 4096;
  Control().SetLimits(limits);
  Serve(kUrl, Resource(4097));
  Control().StartDownload();
  EXPECT_EQ(events.events, (Lines{"progress 2048", "progress 4096", "error [Could not read Url]"}));
  EXPECT_EQ(File(kFile), std::nullopt);
}

TEST_F(InternetFileDownload, ALocalFileThatCannotBeOpenedOrWrittenIsAnErrorAndClosesTheTransfer) {
  files.Put(kFile, "locked");
  files.MarkUnreadable(kFile);
  Serve(kUrl, Resource(100));
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not write LocalFile]"});
  EXPECT_FALSE(Control().SessionOpen());
  EXPECT_EQ(File(kFile), "locked");
  // A failed write raises no progress event.
  events.events.clear();
  Control().LocalFile("C:\\Temp\\other");
  files.writesFail = true;
  Control().StartDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not write LocalFile]"});
  EXPECT_FALSE(Control().SessionOpen());
}

// --- Cancel.

// Even from the last progress handler, a cancel ends as cancelled with the
// same total, raised before anything is closed.
TEST_F(InternetFileDownload, CancelFromTheLastProgressHandlerEndsCancelledBeforeAnythingIsClosed) {
  events.onEvent = [&](const std::string& event) {
    if (events.events.size() == 3) {
      Control().CancelDownload();
    }
    if (event.starts_with("cancelled")) {
      EXPECT_EQ(http.OpenHandles(), 3u);  // session, connection and request
      EXPECT_EQ(files.openWriters, 1u);
    }
  };
  EXPECT_EQ(Start(3000), (Lines{"progress 2048", "progress 3000", "progress 3000", "cancelled 3000"}));
  EXPECT_EQ(File(kFile), Resource(3000));
}

// A cancel given while no download runs is forgotten; one from a message
// between blocks stops the download and keeps the blocks read.
TEST_F(InternetFileDownload, ACancelWhileNoDownloadRunsIsForgottenOneFromAMessageBetweenBlocksStopsIt) {
  Control().CancelDownload();
  EXPECT_EQ(Start(100).back(), "complete");
  events.events.clear();
  // The 6th DoEvents call of a later download is after the first read's
  // progress event.
  pump.After(6, [&] { Control().CancelDownload(); });
  EXPECT_EQ(Start(10000), (Lines{"progress 2048", "cancelled 2048"}));
  EXPECT_EQ(File(kFile), Resource(2048));
}

// --- Resume.

class InternetFileResume : public InternetFileDownload {
 protected:
  const std::string kLocal = std::string(5000, 'L');
};

// A 206 reply that does not start where the file ends, or that does not say where
// it starts, or a whole reply too short to skip the file's bytes: an error
// raised before closing, with the file untouched.
TEST_F(InternetFileResume, AReplyThatCannotBePlacedAfterTheFileIsAPositioningError) {
  struct Case {
    std::string what;
    Reply reply;
  };
  const std::vector<Case> cases = {
      {"206 from elsewhere", {.status = 206, .body = Resource(9000), .contentRange = "bytes 0-8999/9000"}},
      {"206 without Content-Range", {.status = 206, .body = Resource(4000)}},
      {"whole reply shorter than the file", {.body = Resource(3000), .contentLength = 3000}},
  };
  events.onEvent = [&](const std::string&) { EXPECT_EQ(http.OpenHandles(), 3u); };
  files.Put(kFile, kLocal);
  for (const Case& c : cases) {
    events.events.clear();
    http.SetGet(kUrl, c.reply);
    Control().ResumeDownload();
    EXPECT_EQ(events.events, Lines{"error [Error, while setting position]"}) << c.what;
    EXPECT_EQ(File(kFile), kLocal) << c.what;
  }
}

// The server refuses the range past the end (416, naming the size).
TEST_F(InternetFileResume, AFileThatIsAlreadyWholeCompletesWithoutReadingALongerOneIsRefused) {
  files.Put(kFile, Resource(9000));
  http.SetGet(kUrl, Reply{.body = Resource(9000), .contentLength = 9000, .honoursRanges = true});
  Control().ResumeDownload();
  EXPECT_EQ(events.events, (Lines{"progress 9000", "complete"}));
  EXPECT_EQ(File(kFile), Resource(9000));
  EXPECT_EQ(http.reads, 0u);
  events.events.clear();
  files.Put(kFile, std::string(9500, 'L'));
  Control().ResumeDownload();
  EXPECT_EQ(events.events, Lines{"error [Could not find Url]"});
  EXPECT_EQ(File(kFile), std::string(9500, 'L'));
}

// --- Re-entry.

// Whatever DoEvents call a nested transfer runs in, nothing is closed twice,
// used after its close or left open, every GET either succeeds or fails whole,
// and every download ends with exactly one final event.
TEST(InternetFileReentrySweep, ANestedTransferAtAnyDoEventsPointIsSafe) {
  enum Mode { kGetInGet, kGetInDownload, kDownloadInDownload };
  const std::string outerBody = Resource(5000, 1);
  const std::string innerBody = Resource(2100, 2);
  for (const Mode mode : {kGetInGet, kGetInDownload, kDownloadInDownload}) {
    for (std::size_t at = 1; at <= 45; ++at) {
      InternetFileRig rig;
      rig.http.SetGet("http://h/outer", Reply{.body = outerBody});
      rig.http.SetGet("http://h/inner", Reply{.body = innerBody});
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
      std::size_t finals = 0;
      for (const std::string& event : rig.events.events) {
        finals += event.rfind("progress", 0) == 0 ? 0 : 1;
      }
      const std::size_t downloads =
          (mode != kGetInGet) + (mode == kDownloadInDownload && rig.pump.calls >= at);
      EXPECT_EQ(finals, downloads) << where;
      rig.ExpectCleanEnd(where);
    }
  }
}

}  // namespace
}  // namespace hta::testing
