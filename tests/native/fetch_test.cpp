// The background fetch through Launcher over fakes, for what the real program
// under Wine (tests/windows/tray_e2e_test.cpp fetches a list and its files
// through ".temp" files) does not show: the old file kept until the one move,
// the use that follows the fetch's purpose, a locked or unreplaceable target,
// a failed or cancelled transfer, ticks skipped while a list is fetched or
// dispatched, and the queue for fetches asked for while a transfer or a login
// is running.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "fakes/fake_log.h"
#include "fetch_fixture.h"

namespace hta::testing {
namespace {

using FetchFileTest = FetchTest;

// What a file's arrival does follows from why it was fetched, never from its
// name: a sound that is no wave file is written and left alone (no list is
// processed), and a "sound" named like an application is not opened.
TEST_F(FetchFileTest, AFileIsUsedForWhatItWasFetchedForWhateverItsName) {
  files.Put(kActionList, Action("popup", "", "", "from the list"));
  Serve("http://files.test/ding", Wave("ding"));
  Serve("http://files.test/app", "APP");
  Serve("http://files.test/tune.mp3", "ID3");
  Serve("http://files.test/x.hta", "<html>");
  Program().Fetch().FetchFile("http://files.test/ding", kHtaFolder + "DING.WaV", FetchPurpose::Sound);
  Program().Fetch().FetchFile("http://files.test/app", kHtaFolder + "App.HTA", FetchPurpose::Application);
  Program().Fetch().FetchFile("http://files.test/tune.mp3", kHtaFolder + "tune.mp3", FetchPurpose::Sound);
  Program().Fetch().FetchFile("http://files.test/x.hta", kHtaFolder + "x.hta", FetchPurpose::Sound);
  EXPECT_EQ(sound.played, Lines{Played("ding")});
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "App.HTA|"});
  EXPECT_EQ(popups.records.size(), 0u);
  EXPECT_EQ(files.Contents(kHtaFolder + "tune.mp3"), "ID3");
  EXPECT_EQ(files.Contents(kHtaFolder + "x.hta"), "<html>");
}

// A target held open by another program cannot be replaced: the new file is
// dropped and the old one (locked, but there) used. With nothing in place and
// the move failing, nothing is used.
TEST_F(FetchFileTest, AnUnreplaceableTargetIsUsedAsItIs) {
  fakes::FakeLog log;
  files.Put(kHtaFolder + "s.hta", "OLD");
  files.MarkUnreadable(kHtaFolder + "s.hta");
  Serve("http://files.test/s.hta", "NEW");
  Program().Fetch().FetchFile("http://files.test/s.hta", kHtaFolder + "s.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "s.hta"), "OLD");
  EXPECT_FALSE(files.Exists(kHtaFolder + "s.hta.temp"));
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "s.hta|"});
  EXPECT_EQ(log.lines.front(), "INFO Download refused: s.hta: the file in place is in use");
  files.movesFail = true;
  Serve("http://files.test/b.hta", "NEW");
  Program().Fetch().FetchFile("http://files.test/b.hta", kHtaFolder + "b.hta");
  EXPECT_FALSE(files.Exists(kHtaFolder + "b.hta"));
  EXPECT_FALSE(files.Exists(kHtaFolder + "b.hta.temp"));
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "s.hta|"});
}

// A disk with room for 1000 more bytes: a download of 4000 and a login's
// file of 4000 cannot be written. Each removes what it wrote at once, keeps
// the old file whole and says why in one line; so the next poll's list,
// which fits, is written and its popup shows.
TEST_F(FetchFileTest, AWriteThatFailsLeavesNothingBehind) {
  fakes::FakeLog log;
  files.Put(kHtaFolder + "big.hta", "OLD");
  files.diskCapacity = files.BytesUsed() + 1000;
  Serve("http://files.test/big.hta", std::string(4000, 'x'));
  Program().Fetch().FetchFile("http://files.test/big.hta", kHtaFolder + "big.hta");
  EXPECT_FALSE(files.Exists(kHtaFolder + "big.hta.temp"));
  EXPECT_EQ(files.Contents(kHtaFolder + "big.hta"), "OLD");
  EXPECT_EQ(Launches(), Lines{});

  ServeLogin(App("big.hta", "Big") + Download("big.hta", "http://files.test/big.hta") + ActionUrl(kActions));
  Program().ReconnectClicked();
  EXPECT_FALSE(files.Exists(kHtaFolder + "big.hta.new"));
  EXPECT_EQ(files.Contents(kHtaFolder + "big.hta"), "OLD");
  const std::string refused = "INFO Download refused: big.hta: could not be written (the disk is full)";
  EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), refused), 2)
      << ::testing::PrintToString(log.lines);

  Serve(PollUrl(), Action("popup", "", "", "there is room"));
  Program().PollTimerTick();
  EXPECT_EQ(popups.records.size(), 1u);
  EXPECT_FALSE(files.Exists(kActionList + ".temp"));
}

TEST_F(FetchFileTest, ACancelledFetchLeavesTheTarget) {
  files.Put(kHtaFolder + "a.hta", "OLD");
  http.SetGet("http://files.test/a.hta",
              {.body = std::string(10000, 'x'), .contentLength = 10000, .largestRead = 100});
  DuringFetch([&] { Program().Transfer().CancelDownload(); });
  Program().Fetch().FetchFile("http://files.test/a.hta", kHtaFolder + "a.hta");
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "OLD");
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta.temp"));
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_FALSE(Program().Fetch().FetchBusy());
}

// A tick at every yield of a whole poll cycle (the list's transfer, a
// sound's transfer, the popups' fade-ins) starts nothing: no second list runs
// inside the first, so its second popup still takes the slot above its first.
// The next tick after the cycle polls again.
TEST_F(FetchFileTest, TicksWhileAListIsFetchedOrDispatchedAreSkipped) {
  State().actionUrl = kActions;
  Serve(PollUrl(), Action("popup", "", "", "one") + Action("sound", "http://files.test/one.wav", "one.wav") +
                       Action("popup", "", "", "two"));
  Serve("http://files.test/one.wav", Wave("one"));
  // Bounded, so a launcher that nests would fail rather than overflow.
  pump.onEveryCall = [&, ticks = 0](std::size_t) mutable {
    if (++ticks < 300) {
      Program().PollTimerTick();
    }
  };
  Program().PollTimerTick();
  EXPECT_EQ(http.gets, (Lines{PollUrl(), "http://files.test/one.wav"}));
  ASSERT_EQ(popups.records.size(), 2u);
  EXPECT_LT(popups.At(2).top, popups.At(1).top);
  pump.onEveryCall = nullptr;
  Program().PollTimerTick();
  EXPECT_EQ(http.gets.size(), 3u);
}

TEST_F(FetchFileTest, APopupClickDuringATransferOpensAfterIt) {
  files.Put(kActionList, Action("popup", "http://files.test/linked.hta", "linked", "click me"));
  Program().Actions().ProcessActionList();
  Serve("http://files.test/a.hta", "APP");
  Serve("http://files.test/linked.hta", "LINKED");
  DuringFetch([&] { popups.ClickText(1); });
  Program().Fetch().FetchFile("http://files.test/a.hta", kHtaFolder + "a.hta");
  EXPECT_EQ(http.gets, (Lines{"http://files.test/a.hta", "http://files.test/linked.hta"}));
  EXPECT_EQ(Launches(), (Lines{kHtaFolder + "a.hta|", kHtaFolder + "linked.hta|"}));
}

TEST_F(FetchFileTest, NothingElseRunsDuringALogin) {
  files.Put(kActionList, Action("popup", "http://files.test/linked.hta", "linked", "click me"));
  Program().Actions().ProcessActionList();
  State().actionUrl = kActions;
  Serve("http://files.test/linked.hta", "LINKED");
  ServeLogin(App("main", "Main") + ActionUrl(kActions));
  pump.onEveryCall = [&, done = false](std::size_t) mutable {
    if (!done && Program().LoginRunning()) {
      done = true;
      Program().PollTimerTick();
      popups.ClickText(1);
    }
  };
  Program().ReconnectClicked();
  EXPECT_EQ(http.gets, (Lines{BootUrl(kBoot1), LoginUrl(""), "http://files.test/linked.hta"}));
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "linked.hta|"});
}

TEST_F(FetchFileTest, ReconnectClickedDuringAFetchLogsInOnceTheFetchHasEnded) {
  State().actionUrl = kActions;
  Serve(PollUrl(), Action("sound", "http://files.test/one.wav", "one.wav"));
  Serve("http://files.test/one.wav", Wave("one"));
  ServeLogin(App("a.hta", "A"));
  bool enabledInside = true;
  pump.onEveryCall = [&, done = false](std::size_t) mutable {
    if (!done && Program().Fetch().FetchBusy()) {
      done = true;
      Program().ReconnectClicked();
      enabledInside = view.buttonsEnabled;
    }
  };
  Program().PollTimerTick();
  EXPECT_FALSE(enabledInside) << "the click is taken at once";
  EXPECT_EQ(http.gets, (Lines{PollUrl(), "http://files.test/one.wav", BootUrl(kBoot1), LoginUrl("")}));
  EXPECT_EQ(sound.played, Lines{Played("one")});
  EXPECT_TRUE(view.buttonsEnabled);
}

// The fetch a popup click queued behind a login runs at the login's end; a
// Reconnect clicked during it still gets its login afterwards.
TEST_F(FetchFileTest, ReconnectClickedDuringAFetchQueuedBehindALoginLogsInAfterIt) {
  files.Put(kActionList, Action("popup", "http://files.test/linked.hta", "linked", "click me"));
  Program().Actions().ProcessActionList();
  Serve("http://files.test/linked.hta", "LINKED");
  ServeLogin(App("main", "Main"));
  pump.onEveryCall = [&, step = 0](std::size_t) mutable {
    if (step == 0 && Program().LoginRunning()) {
      step = 1;
      popups.ClickText(1);
    } else if (step == 1 && Program().Fetch().FetchBusy() &&
               Program().Transfer().Url() == "http://files.test/linked.hta") {
      step = 2;
      Program().ReconnectClicked();
    }
  };
  Program().ReconnectClicked();
  EXPECT_EQ(http.gets, (Lines{BootUrl(kBoot1), LoginUrl(""), "http://files.test/linked.hta", BootUrl(kBoot1),
                              LoginUrl("")}));
  EXPECT_TRUE(view.buttonsEnabled);
}

}  // namespace
}  // namespace hta::testing
