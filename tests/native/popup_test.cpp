// Popup messages over fake windows and a scripted message loop, for what the
// real windows (tests/windows/popup_window_test.cpp) cannot show: other work
// areas and DPIs, stacking by PopupCount, the two timer intervals, the fade
// schedules, refusals of the platform, and events arriving in the middle of a
// fade or of the fetch, with the owner's rule that a popup is destroyed
// exactly once and only when nothing of it is on the stack any more (run
// under ASan to catch a use after free).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_message_pump.h"
#include "fakes/fake_popup_window.h"
#include "popup/popups.h"

namespace hta::testing {
namespace {

using Lines = std::vector<std::string>;

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
  fakes::FakePopupFactory windows;
  fakes::FakeMessagePump pump;
  fakes::FakeClock clock;
  FakeLinkTarget link;
  Popups popups{PopupPorts{windows, pump, clock, link}};
};

// --- Placement and PopupCount -------------------------------------------

TEST_F(PopupTest, PlacementFollowsTheWorkAreaAtAnyDpi) {
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

// A reset count starts again at the corner; unloads never take it below zero.
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
  popups.PopupCount(0);  // the action processing read a new list
  popups.ShowPopup("e");
  EXPECT_EQ(windows.At(5).top, windows.At(1).top);
  for (int i = 2; i <= 5; ++i) {
    windows.ClickClose(i);
  }
  EXPECT_EQ(popups.PopupCount(), 0);
}

TEST_F(PopupTest, AWindowThePlatformRefusesCountsNothing) {
  windows.refuse = true;
  popups.ShowPopup("nothing");
  EXPECT_EQ(popups.PopupCount(), 0);
  EXPECT_EQ(popups.Alive(), 0u);
}

// A link needs both address and file name (an address alone: the plain-click
// test below) and stays longer; a top-most refusal or a missing hand cursor
// keeps the long time and the fetch.
TEST_F(PopupTest, ALinkStaysLongerWhateverThePlatformRefuses) {
  popups.ShowPopup("file only", "", "C:\\tmp\\hta\\app.hta");
  EXPECT_EQ(windows.At(1).timer, 7000u);
  EXPECT_FALSE(windows.At(1).link);
  windows.topMostFails = true;
  windows.cursorMissing = true;
  popups.ShowPopup("link", "http://x/app.hta", "C:\\tmp\\hta\\app.hta");
  EXPECT_EQ(windows.At(2).alphas.back(), 198);
  EXPECT_EQ(windows.At(2).timer, 15000u);
  EXPECT_TRUE(windows.At(2).link);
  windows.ClickText(2);
  EXPECT_EQ(link.fetches, Lines{"http://x/app.hta -> C:\\tmp\\hta\\app.hta"});
}

// --- Clicks (the timer closes through the same fade-out as a link click) ---

TEST_F(PopupTest, AClickOnAPlainTextOrOnTheFormOnlyStopsTheTimer) {
  popups.ShowPopup("plain", "http://srv/a.hta", "");
  popups.ShowPopup("link", "http://srv/a.hta", "C:\\a.hta");
  windows.ClickText(1);
  windows.ClickForm(2);
  EXPECT_EQ(windows.At(1).timer, 0u);
  EXPECT_EQ(windows.At(2).timer, 0u);
  EXPECT_TRUE(link.fetches.empty());
  EXPECT_EQ(popups.PopupCount(), 2);
}

// --- Re-entry: events inside a fade or a fetch ---------------------------

TEST_F(PopupTest, ACloseDuringTheFadeOutUnloadsOnce) {
  popups.ShowPopup("timer then x");
  pump.After(5, [this] { windows.ClickClose(1); });
  windows.Tick(1);
  EXPECT_EQ(windows.At(1).alphas.back(), 200 - 8 * 4);
  EXPECT_EQ(windows.At(1).destroyed, 1u);
}

TEST_F(PopupTest, ALinkClickDuringTheFadeInTurnsItIntoAFadeOut) {
  pump.At(3, [this] { windows.ClickText(1); });
  popups.ShowPopup("link", "http://srv/a.hta", "C:\\a.hta");
  std::vector<int> alphas = {200, 0, 0, 6, 12};
  for (int a = 200; a >= 0; a -= 8) {
    alphas.push_back(a);
  }
  EXPECT_EQ(windows.At(1).alphas, alphas);
  EXPECT_EQ(link.fetches.size(), 1u);
  EXPECT_EQ(windows.At(1).destroyed, 1u);
}

// A second click inside the fetch starts no second fetch; an "x" clicked
// there skips the fade-out.
TEST_F(PopupTest, ClicksDuringALinksFetchStartNoSecondFetch) {
  popups.ShowPopup("link", "http://srv/a.hta", "C:\\a.hta");
  const std::size_t alphaCalls = windows.At(1).alphas.size();
  link.during = [this] {
    if (link.fetches.size() == 1) {
      windows.ClickText(1);
      windows.ClickClose(1);
      EXPECT_EQ(windows.At(1).destroyed, 0u);  // the click handler is still running
    }
  };
  windows.ClickText(1);
  EXPECT_EQ(link.fetches.size(), 1u);
  EXPECT_EQ(windows.At(1).alphas.size(), alphaCalls);
  EXPECT_EQ(windows.At(1).destroyed, 1u);
}

TEST_F(PopupTest, ATimerTickDuringTheFadeOutIsIgnored) {
  popups.ShowPopup("tick tick");
  pump.After(3, [this] { windows.Tick(1); });
  windows.Tick(1);
  EXPECT_EQ(windows.At(1).alphas.size(), 2u + 34u + 26u);  // 200, 0, the fade-in, one fade-out
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
  EXPECT_EQ(windows.At(2).alphas.back(), 198);  // the newer one's fade went on
  EXPECT_EQ(popups.PopupCount(), 1);
}

TEST_F(PopupTest, AnUnloadedPopupIgnoresLateEventsUntilItGoes) {
  // x clicked during the fade-in, then a tick and clicks arrive in the
  // same DoEvents before the fade unwinds: none may touch the window.
  pump.At(2, [this] {
    windows.ClickClose(1);
    const std::size_t calls = windows.At(1).calls;
    windows.Tick(1);
    windows.ClickText(1);
    windows.ClickForm(1);
    windows.ClickClose(1);
    EXPECT_EQ(windows.At(1).calls, calls);
  });
  popups.ShowPopup("link", "http://srv/a.hta", "C:\\a.hta");
  EXPECT_TRUE(link.fetches.empty());
  EXPECT_EQ(windows.At(1).destroyed, 1u);
  EXPECT_EQ(popups.PopupCount(), 0);
}

}  // namespace
}  // namespace hta::testing
