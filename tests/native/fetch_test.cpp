// The background fetch through frmMain over fakes: the ".temp" file and its
// move into place in one step, the type taken from the path's end, a locked
// or unreplaceable target, the busy flag after every outcome, and the queue
// for fetches asked for while a transfer or a login is running.
#include <gtest/gtest.h>

#include <string>

#include "fetch_fixture.h"

namespace hta::testing {
namespace {

using FetchFileTest = FetchTest;

TEST_F(FetchFileTest, DownloadsIntoTheTempFileThenMovesItIntoPlaceAndOpensIt) {
  State().AppParam = "p 1";
  Serve("http://files.test/a.hta", "NEW");
  files.Put(kHtaFolder + "a.hta", "OLD");
  std::string writtenTo;
  bool targetKept = false;
  DuringFetch([&] {
    writtenTo = Form().InternetFile1().LocalFile();
    targetKept = files.Contents(kHtaFolder + "a.hta") == "OLD";
  });
  Form().Fetch().FetchFile("http://files.test/a.hta", kHtaFolder + "a.hta");
  EXPECT_EQ(writtenTo, kHtaFolder + "a.hta.temp");
  EXPECT_TRUE(targetKept);
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "NEW");
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta.temp"));
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "a.hta|p 1"});
  EXPECT_FALSE(State().FetchBusy);
}

TEST_F(FetchFileTest, LeftoverTempFileIsDeletedAndAFailedStartLeavesTheTargetAndClearsBusy) {
  files.Put(kHtaFolder + "a.hta.temp", "LEFT OVER");
  files.Put(kHtaFolder + "a.hta", "OLD");
  fakes::FakeHttp::GetReply missing;
  missing.opens = false;
  http.SetGet("http://files.test/a.hta", missing);
  Form().Fetch().FetchFile("http://files.test/a.hta", kHtaFolder + "a.hta");
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta.temp"));
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "OLD");
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_FALSE(State().FetchBusy);
}

TEST_F(FetchFileTest, LeftoverTempFileIsReplacedByAFreshDownload) {
  files.Put(kHtaFolder + "s.wav.temp", "LEFT OVER ");
  Serve("http://files.test/s.wav", "RIFF");
  Form().Fetch().FetchFile("http://files.test/s.wav", kHtaFolder + "s.wav");
  EXPECT_EQ(files.Contents(kHtaFolder + "s.wav"), "RIFF");
}

// A wave file is played, an application opened, and any other type makes the
// local action list run.
TEST_F(FetchFileTest, TypeIsTheLastThreeCharactersInAnyCase) {
  files.Put(kActionList, Action("popup", "", "", "from the list"));
  Serve("http://files.test/ding", "RIFF");
  Serve("http://files.test/app", "APP");
  Serve("http://files.test/tune.mp3", "ID3");
  Form().Fetch().FetchFile("http://files.test/ding", kHtaFolder + "DING.WaV");
  Form().Fetch().FetchFile("http://files.test/app", kHtaFolder + "App.HTA");
  EXPECT_EQ(popups.records.size(), 0u);
  Form().Fetch().FetchFile("http://files.test/tune.mp3", kHtaFolder + "tune.mp3");
  EXPECT_EQ(sound.played, Lines{Wav(kHtaFolder + "DING.WaV")});
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "App.HTA|"});
  EXPECT_EQ(files.Contents(kHtaFolder + "tune.mp3"), "ID3");
  ASSERT_EQ(popups.records.size(), 1u);
  EXPECT_EQ(popups.At(1).text, "from the list");
}

TEST_F(FetchFileTest, LockedTargetKeepsItsFileDropsTheNewOneAndUsesTheOld) {
  files.Put(kHtaFolder + "s.wav", "OLD");
  files.MarkUnreadable(kHtaFolder + "s.wav");
  Serve("http://files.test/s.wav", "NEW");
  Form().Fetch().FetchFile("http://files.test/s.wav", kHtaFolder + "s.wav");
  EXPECT_EQ(files.Contents(kHtaFolder + "s.wav"), "OLD");
  EXPECT_FALSE(files.Exists(kHtaFolder + "s.wav.temp"));
  EXPECT_EQ(sound.played, Lines{Wav(kHtaFolder + "s.wav")});
  EXPECT_FALSE(State().FetchBusy);
}

// The previous a.hta is used; with no b.hta in place, nothing is.
TEST_F(FetchFileTest, FailedMoveNeverLeavesTheLauncherWithoutItsPreviousFile) {
  files.Put(kHtaFolder + "a.hta", "OLD");
  files.movesFail = true;
  Serve("http://files.test/a.hta", "NEW");
  Serve("http://files.test/b.hta", "NEW");
  Form().Fetch().FetchFile("http://files.test/a.hta", kHtaFolder + "a.hta");
  Form().Fetch().FetchFile("http://files.test/b.hta", kHtaFolder + "b.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "OLD");
  EXPECT_FALSE(files.Exists(kHtaFolder + "b.hta"));
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta.temp"));
  EXPECT_FALSE(files.Exists(kHtaFolder + "b.hta.temp"));
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "a.hta|"});
  EXPECT_FALSE(State().FetchBusy);
}

TEST_F(FetchFileTest, LocalFileExistsForPresentAndLockedFilesNotForFoldersOrMissing) {
  files.Put(kHtaFolder + "here.hta", "x");
  files.Put(kHtaFolder + "held.hta", "x");
  files.MarkUnreadable(kHtaFolder + "held.hta");
  files.AddFolder(kHtaFolder + "sub");
  EXPECT_TRUE(LocalFileExists(files, kHtaFolder + "here.hta"));
  EXPECT_TRUE(LocalFileExists(files, kHtaFolder + "held.hta"));
  EXPECT_FALSE(LocalFileExists(files, kHtaFolder + "sub"));
  EXPECT_FALSE(LocalFileExists(files, kHtaFolder + "gone.hta"));
}

TEST_F(FetchFileTest, CancelledTransferClearsBusyAndLeavesTheTarget) {
  files.Put(kHtaFolder + "a.hta", "OLD");
  fakes::FakeHttp::GetReply reply;
  reply.body = std::string(10000, 'x');
  reply.contentLength = 10000;
  reply.largestRead = 100;
  http.SetGet("http://files.test/a.hta", reply);
  DuringFetch([&] { Form().InternetFile1().CancelDownload(); });
  Form().Fetch().FetchFile("http://files.test/a.hta", kHtaFolder + "a.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "OLD");
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_FALSE(State().FetchBusy);
}

TEST_F(FetchFileTest, CompletionWithoutTempFileStillClearsBusy) {
  Form().InternetFile1().LocalFile(kHtaFolder + "gone.hta.temp");
  State().FetchBusy = true;
  Form().Fetch().DownloadComplete();
  EXPECT_FALSE(State().FetchBusy);
  EXPECT_EQ(Launches(), Lines{});
}

TEST_F(FetchFileTest, TickDuringATransferIsQueuedAndPollsAfterIt) {
  State().ActionUrl = kActions;
  Serve("http://files.test/a.hta", "APP");
  Serve(PollUrl(), "");
  std::size_t queuedInside = 0;
  std::size_t getsInside = 0;
  DuringFetch([&] {
    Form().Timer1_Timer();
    queuedInside = Form().Fetch().QueuedCount();
    getsInside = Gets().size();
  });
  Form().Fetch().FetchFile("http://files.test/a.hta", kHtaFolder + "a.hta");
  EXPECT_EQ(queuedInside, 1u);
  EXPECT_EQ(getsInside, 1u);
  EXPECT_EQ(Gets(), (Lines{"http://files.test/a.hta", PollUrl()}));
  EXPECT_EQ(Form().Fetch().QueuedCount(), 0u);
  EXPECT_FALSE(State().FetchBusy);
}

TEST_F(FetchFileTest, RepeatedRequestsForOneQueuedTargetFetchItOnceFromTheNewestAddress) {
  State().ActionUrl = kActions;
  Serve("http://files.test/a.hta", "APP");
  DuringFetch([&] {
    Form().Timer1_Timer();
    clock.now = TimeOfDay{14, 6, 9};
    Form().Timer1_Timer();
  });
  Form().Fetch().FetchFile("http://files.test/a.hta", kHtaFolder + "a.hta");
  EXPECT_EQ(Gets(), (Lines{"http://files.test/a.hta", kActions + "?VANO_BACKOFFICE=&ts=14:06:09"}));
}

TEST_F(FetchFileTest, PopupClickDuringATransferIsQueuedAndOpensAfterIt) {
  files.Put(kActionList, Action("popup", "http://files.test/linked.hta", "linked", "click me"));
  Form().Actions().ProcessActionList();
  ASSERT_EQ(popups.records.size(), 1u);
  ASSERT_TRUE(popups.At(1).link);
  Serve("http://files.test/a.hta", "APP");
  Serve("http://files.test/linked.hta", "LINKED");
  DuringFetch([&] { popups.ClickText(1); });
  Form().Fetch().FetchFile("http://files.test/a.hta", kHtaFolder + "a.hta");
  EXPECT_EQ(Gets(), (Lines{"http://files.test/a.hta", "http://files.test/linked.hta"}));
  EXPECT_EQ(Launches(), (Lines{kHtaFolder + "a.hta|", kHtaFolder + "linked.hta|"}));
  EXPECT_FALSE(State().FetchBusy);
}

TEST_F(FetchFileTest, FetchesStartedByAProcessedListRunInsideItInOrder) {
  State().ActionUrl = kActions;
  Serve(PollUrl(), Action("sound", "http://files.test/one.wav", "one.wav") +
                       Action("launch", "http://files.test/app.hta", "app") +
                       Action("sound", "http://files.test/two.wav", "two.wav"));
  Serve("http://files.test/one.wav", "RIFF1");
  Serve("http://files.test/app.hta", "APP");
  Serve("http://files.test/two.wav", "RIFF2");
  Form().Timer1_Timer();
  EXPECT_EQ(Gets(), (Lines{PollUrl(), "http://files.test/one.wav", "http://files.test/app.hta",
                           "http://files.test/two.wav"}));
  EXPECT_EQ(sound.played, (Lines{Wav(kHtaFolder + "one.wav"), Wav(kHtaFolder + "two.wav")}));
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "app.hta|"});
  EXPECT_EQ(Form().Fetch().QueuedCount(), 0u);
}

TEST_F(FetchFileTest, TickDuringAFetchOfAProcessedListRunsAfterTheWholeList) {
  State().ActionUrl = kActions;
  const std::string secondPoll = kActions + "?VANO_BACKOFFICE=&ts=14:06:09";
  Serve(PollUrl(), Action("sound", "http://files.test/one.wav", "one.wav") +
                       Action("sound", "http://files.test/two.wav", "two.wav"));
  Serve("http://files.test/one.wav", "RIFF1");
  Serve("http://files.test/two.wav", "RIFF2");
  Serve(secondPoll, "");
  pump.onEveryCall = [&, done = false](std::size_t) mutable {
    if (!done && State().FetchBusy && Form().InternetFile1().Url() == "http://files.test/one.wav") {
      done = true;
      clock.now = TimeOfDay{14, 6, 9};
      Form().Timer1_Timer();
    }
  };
  Form().Timer1_Timer();
  EXPECT_EQ(Gets(), (Lines{PollUrl(), "http://files.test/one.wav", "http://files.test/two.wav", secondPoll}));
}

TEST_F(FetchFileTest, TickDuringALoginIsSkippedAndAPopupClickWaitsForTheLoginsEnd) {
  files.Put(kActionList, Action("popup", "http://files.test/linked.hta", "linked", "click me"));
  Form().Actions().ProcessActionList();
  State().ActionUrl = kActions;
  Serve("http://files.test/linked.hta", "LINKED");
  ServeLogin(App("main", "Main") + ActionUrl(kActions));
  std::size_t queuedInside = 0;
  pump.onEveryCall = [&, done = false](std::size_t) mutable {
    if (!done && Form().LoginRunning()) {
      done = true;
      Form().Timer1_Timer();
      popups.ClickText(1);
      queuedInside = Form().Fetch().QueuedCount();
    }
  };
  Form().cmdLogin_Click();
  EXPECT_EQ(queuedInside, 1u);
  EXPECT_EQ(Gets(), (Lines{BootUrl(kBoot1), LoginUrl(""), "http://files.test/linked.hta"}));
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "linked.hta|"});
}

TEST_F(FetchFileTest, ReconnectClickedDuringAFetchLogsInOnceTheFetchHasEnded) {
  State().ActionUrl = kActions;
  Serve(PollUrl(), Action("sound", "http://files.test/one.wav", "one.wav"));
  Serve("http://files.test/one.wav", "RIFF1");
  ServeLogin(App("a.hta", "A"));
  bool enabledInside = true;
  pump.onEveryCall = [&, done = false](std::size_t) mutable {
    if (!done && State().FetchBusy) {
      done = true;
      Form().cmdLogin_Click();
      enabledInside = view.buttonsEnabled;
    }
  };
  Form().Timer1_Timer();
  EXPECT_FALSE(enabledInside) << "the click is taken at once";
  EXPECT_EQ(Gets(), (Lines{PollUrl(), "http://files.test/one.wav", BootUrl(kBoot1), LoginUrl("")}));
  EXPECT_EQ(sound.played, Lines{Wav(kHtaFolder + "one.wav")});
  EXPECT_EQ(Messages(), Lines{});
  EXPECT_FALSE(Form().Ended());
  EXPECT_TRUE(view.buttonsEnabled);
}

}  // namespace
}  // namespace hta::testing
