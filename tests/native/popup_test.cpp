// Popup messages over fake windows and a scripted message loop, for what the
// real windows (tests/windows/popup_window_test.cpp) cannot show: other work
// areas and DPIs, stacking by PopupCount, the two timer intervals, the fade
// schedules, refusals of the platform, and events arriving in the middle of a
// fade or of the fetch, with the owner's rule that a popup is destroyed
// exactly once and only when nothing of it is on the stack any more (run
// under ASan to catch a use after free).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/fake_message_pump.h"
#include "fakes/fake_popup_window.h"
#include "popup/popups.h"

namespace hta::testing {
namespace {

using Lines = std::vector<std::string>;

// Sleeps go into the popup factory's log, so the order of SetTranslucent, Sleep
// and DoEvents can be read from one list.
class LoggingClock final : public Clock {
 public:
  explicit LoggingClock(Lines& log) : log_(log) {}
  TimeOfDay LocalTimeOfDay() override { return {}; }
  std::uint64_t MonotonicMicroseconds() override { return 0; }
  void Sleep(std::uint32_t milliseconds) override { log_.push_back("Sleep " + std::to_string(milliseconds)); }

 private:
  Lines& log_;
};

class FakeLinkTarget final : public PopupLinkTarget {
 public:
  void FetchFile(const std::string& url, const std::string& path) override {
    fetches.push_back(url + " -> " + path);
    if (during) {
      during();
    }
  }
  Lines fetches;
  std::function<void()> during;  // runs inside the fetch, as its DoEvents would
};

class PopupTest : public ::testing::Test {
 protected:
  PopupTest() {
    pump.onEveryCall = [this](std::size_t) { windows.log.push_back("DoEvents"); };
  }

  std::vector<int> Alphas(int number) const {
    std::vector<int> out;
    for (const std::string& line : windows.LinesOf(number)) {
      constexpr std::string_view kPrefix = "SetTranslucent ";
      if (line.rfind(kPrefix, 0) == 0) {
        out.push_back(std::stoi(line.substr(kPrefix.size())));
      }
    }
    return out;
  }

  static std::vector<int> Steps(int from, int to, int step) {
    std::vector<int> out;
    for (int a = from; step > 0 ? a <= to : a >= to; a += step) {
      out.push_back(a);
    }
    return out;
  }

  // The log lines of one fade of popup #1: each step SetTranslucent, Sleep(1), DoEvents.
  static void AddFade(Lines& out, int from, int to, int step) {
    for (int alpha : Steps(from, to, step)) {
      out.insert(out.end(), {"#1 SetTranslucent " + std::to_string(alpha), "Sleep 1", "DoEvents"});
    }
  }

  fakes::FakePopupFactory windows;
  fakes::FakeMessagePump pump;
  LoggingClock clock{windows.log};
  FakeLinkTarget link;
  Popups popups{PopupPorts{windows, pump, clock, link}};
};

// --- Placement and PopupCount -------------------------------------------

TEST_F(PopupTest, PlacementFollowsTheWorkAreaAndKeepsPixelMarginsAtOtherDpis) {
  // A work area that does not start at 0 (task bar on the left and top) at
  // 120 DPI (12 twips a pixel, so 417.5 by 197.5 rounded up): the size grows,
  // the margins stay 20/60/5.
  windows.screen = PopupScreen{100, 40, 1380, 840, 120};
  popups.ShowPopup("a");
  popups.ShowPopup("b");
  EXPECT_EQ(windows.At(1).left, 1380 - 20 - 418);
  EXPECT_EQ(windows.At(1).top, 840 - 60 - (198 + 5));
  EXPECT_EQ(windows.At(2).top, 840 - 60 - 2 * (198 + 5));
}

TEST_F(PopupTest, StackingFollowsTheCountNotTheOpenPopups) {
  popups.ShowPopup("a");  // slot 1
  popups.ShowPopup("b");  // slot 2
  popups.ShowPopup("c");  // slot 3
  // Closing the lowest moves nobody; the count drops to 2, so the next
  // popup takes slot 3, where "c" still stands.
  windows.ClickClose(1);
  popups.ShowPopup("d");
  EXPECT_EQ(windows.At(2).top, 800 - 60 - 2 * 163);
  EXPECT_EQ(windows.At(4).top, windows.At(3).top);
  EXPECT_EQ(popups.PopupCount(), 3);
}

TEST_F(PopupTest, AResetCountStartsAgainAtTheCornerAndUnloadsNeverTakeItBelowZero) {
  popups.ShowPopup("a");
  popups.ShowPopup("b");
  popups.PopupCount(0);  // the action processing read a new list
  popups.ShowPopup("c");
  EXPECT_EQ(windows.At(3).top, windows.At(1).top);
  windows.ClickClose(1);
  windows.ClickClose(2);
  windows.ClickClose(3);
  EXPECT_EQ(popups.PopupCount(), 0);
}

TEST_F(PopupTest, TheCountStaysWithinSixteenBits) {
  popups.PopupCount(32767);
  popups.ShowPopup("top slot again");
  EXPECT_EQ(popups.PopupCount(), 32767);
}

TEST_F(PopupTest, AWindowThePlatformRefusesCountsNothing) {
  windows.refuse = true;
  popups.ShowPopup("nothing");
  EXPECT_EQ(popups.PopupCount(), 0);
  EXPECT_EQ(popups.Alive(), 0u);
}

// --- Load, fill and fade-in -----------------------------------------------

TEST_F(PopupTest, LoadFillShowAndFadeInRunInTheDesignedOrder) {
  popups.ShowPopup("Server says hi");
  Lines expected = {"#1 Create",           "#1 SetTranslucent 200", "#1 SetTopMostWindow true",
                    "#1 MoveTo 926 577",   "#1 SetTimer 7000",      "#1 SetText [Server says hi]",
                    "#1 SetTranslucent 0", "#1 ShowNoActivate"};
  AddFade(expected, 0, 198, 6);  // 34 steps
  EXPECT_EQ(windows.log, expected);
}

// An address without a file name is shown by the plain-click test below.
TEST_F(PopupTest, ALinkNeedsBothAddressAndFileNameAndStaysLonger) {
  popups.ShowPopup("file only", "", "C:\\tmp\\hta\\app.hta");
  popups.ShowPopup("link", "http://x/app.hta", "C:\\tmp\\hta\\app.hta");
  EXPECT_EQ(windows.At(1).timer, 7000u);
  EXPECT_FALSE(windows.At(1).link);
  EXPECT_EQ(windows.At(2).timer, 15000u);
  EXPECT_TRUE(windows.At(2).link);
}

TEST_F(PopupTest, TopMostRefusedOrLinkWithoutHandCursorKeepsTheLongTimeAndTheFetch) {
  windows.topMostFails = true;
  windows.cursorMissing = true;
  popups.ShowPopup("link", "http://x/app.hta", "C:\\tmp\\hta\\app.hta");
  EXPECT_EQ(windows.At(1).alpha, 198);
  EXPECT_EQ(windows.At(1).timer, 15000u);
  windows.ClickText(1);
  EXPECT_EQ(link.fetches, Lines{"http://x/app.hta -> C:\\tmp\\hta\\app.hta"});
}

// --- Clicks (the timer closes through the same fade-out as a link click) ---

TEST_F(PopupTest, AClickOnALinkFetchesToTheHtaPathAsItIsAtTheClickThenFadesOutAndUnloads) {
  popups.ShowPopup("New version", "http://srv/app.hta", "C:\\old.hta");
  // HtaPath is a read/write property; the owner hands it out only to its
  // own popups, so reach it through the events object the window was given.
  auto* popup = dynamic_cast<frmMessage*>(windows.At(1).events);
  ASSERT_NE(popup, nullptr);
  popup->HtaPath("C:\\t\\hta\\app.hta");
  windows.log.clear();
  link.during = [this] { windows.log.push_back("Fetch"); };
  windows.ClickText(1);
  EXPECT_EQ(link.fetches, Lines{"http://srv/app.hta -> C:\\t\\hta\\app.hta"});
  Lines expected = {"#1 SetTimer 0", "Fetch"};
  AddFade(expected, 200, 0, -8);  // 26 steps
  // Unload stops the timer once more (harmless) and the window goes.
  expected.insert(expected.end(), {"#1 SetTimer 0", "#1 Destroy"});
  EXPECT_EQ(windows.log, expected);
  EXPECT_EQ(popups.PopupCount(), 0);
}

TEST_F(PopupTest, AClickOnAPlainTextOrOnTheFormOnlyStopsTheTimer) {
  popups.ShowPopup("plain", "http://srv/a.hta", "");
  popups.ShowPopup("link", "http://srv/a.hta", "C:\\a.hta");
  windows.log.clear();
  windows.ClickText(1);
  windows.ClickForm(2);
  EXPECT_EQ(windows.log, (Lines{"#1 SetTimer 0", "#2 SetTimer 0"}));
  EXPECT_TRUE(link.fetches.empty());
  EXPECT_EQ(popups.PopupCount(), 2);
}

// --- Re-entry: events inside a fade or a fetch ---------------------------

class PopupCloseDuringFadeInTest : public PopupTest, public ::testing::WithParamInterface<int> {};

TEST_P(PopupCloseDuringFadeInTest, StopsTheFadeAndDestroysTheWindowOnceAfterTheFadeUnwinds) {
  const int k = GetParam();
  std::size_t destroyedInsideFade = 99;
  pump.At(static_cast<std::size_t>(k), [&] {
    windows.ClickClose(1);
    // The fade of this popup is still on the stack: its window must live.
    destroyedInsideFade = windows.At(1).destroyed;
  });
  popups.ShowPopup("closed early");
  EXPECT_EQ(destroyedInsideFade, 0u);
  // Steps 0 .. k-1 ran (DoEvents number k follows SetTranslucent 6(k-1)); none
  // after the click.
  EXPECT_EQ(Alphas(1).back(), 6 * (k - 1));
  EXPECT_EQ(windows.At(1).destroyed, 1u);
  EXPECT_EQ(popups.PopupCount(), 0);
}

// The first step and the last one (after which the fade ends by itself).
INSTANTIATE_TEST_SUITE_P(Steps, PopupCloseDuringFadeInTest, ::testing::Values(1, 34));

TEST_F(PopupTest, CloseDuringTheFadeOutStopsItAndUnloadsOnce) {
  popups.ShowPopup("timer then x");
  pump.After(5, [this] { windows.ClickClose(1); });
  windows.Tick(1);
  EXPECT_EQ(Alphas(1).back(), 200 - 8 * 4);
  EXPECT_EQ(windows.At(1).destroyed, 1u);
}

TEST_F(PopupTest, ALinkClickDuringTheFadeInFadesOutInsteadAndTheFadeInStops) {
  pump.At(3, [this] { windows.ClickText(1); });
  popups.ShowPopup("link", "http://srv/a.hta", "C:\\a.hta");
  std::vector<int> alphas = {200, 0, 0, 6, 12};
  for (int a : Steps(200, 0, -8)) {
    alphas.push_back(a);
  }
  EXPECT_EQ(Alphas(1), alphas);
  EXPECT_EQ(link.fetches.size(), 1u);
  EXPECT_EQ(windows.At(1).destroyed, 1u);
}

TEST_F(PopupTest, CloseInsideTheFetchSkipsTheFadeOut) {
  popups.ShowPopup("link", "http://srv/a.hta", "C:\\a.hta");
  const std::size_t alphaCalls = windows.At(1).alphaCalls;
  link.during = [this] {
    windows.ClickClose(1);
    EXPECT_EQ(windows.At(1).destroyed, 0u);  // the click handler is still running
  };
  windows.ClickText(1);
  EXPECT_EQ(windows.At(1).alphaCalls, alphaCalls);
  EXPECT_EQ(windows.At(1).destroyed, 1u);
}

TEST_F(PopupTest, ASecondClickDuringTheFetchStartsNoSecondFetch) {
  popups.ShowPopup("link", "http://srv/a.hta", "C:\\a.hta");
  link.during = [this] {
    if (link.fetches.size() == 1) {
      windows.ClickText(1);
    }
  };
  windows.ClickText(1);
  EXPECT_EQ(link.fetches.size(), 1u);
  EXPECT_EQ(windows.At(1).destroyed, 1u);
}

TEST_F(PopupTest, ATimerTickDuringTheFadeOutIsIgnored) {
  popups.ShowPopup("tick tick");
  pump.After(3, [this] { windows.Tick(1); });
  windows.Tick(1);
  EXPECT_EQ(Alphas(1).size(), 2u + 34u + 26u);  // 200, 0, the fade-in, one fade-out
  EXPECT_EQ(windows.At(1).destroyed, 1u);
}

TEST_F(PopupTest, AnotherPopupClosedDuringAFadeGoesAtOnce) {
  popups.ShowPopup("older");
  std::size_t olderDestroyed = 99;
  pump.After(4, [&] {
    windows.ClickClose(1);
    olderDestroyed = windows.At(1).destroyed;  // nothing of #1 is on the stack
  });
  popups.ShowPopup("newer");
  EXPECT_EQ(olderDestroyed, 1u);
  EXPECT_EQ(Alphas(2).back(), 198);  // the newer one's fade went on
  EXPECT_EQ(popups.PopupCount(), 1);
}

TEST_F(PopupTest, AnUnloadedPopupIgnoresLateEventsUntilItGoes) {
  // x clicked during the fade-in, then a tick and clicks arrive in the
  // same DoEvents before the fade unwinds: none may touch the window.
  pump.At(2, [this] {
    windows.ClickClose(1);
    const std::size_t lines = windows.LinesOf(1).size();
    windows.Tick(1);
    windows.ClickText(1);
    windows.ClickForm(1);
    windows.ClickClose(1);
    EXPECT_EQ(windows.LinesOf(1).size(), lines);
  });
  popups.ShowPopup("link", "http://srv/a.hta", "C:\\a.hta");
  EXPECT_TRUE(link.fetches.empty());
  EXPECT_EQ(windows.At(1).destroyed, 1u);
  EXPECT_EQ(popups.PopupCount(), 0);
}

}  // namespace
}  // namespace hta::testing
