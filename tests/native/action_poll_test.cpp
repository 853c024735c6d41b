// The action poll through Launcher over fakes, beyond what the real program
// under Wine shows (tests/windows/tray_e2e_test.cpp: the list's address with
// the login's parameter, a sound and a launch action, popups with and without
// a link, the menu entry that drops them): the encoding and 24-hour stamp of
// the address, a failed poll, the dispatch rules, refused file names,
// PopupCount reset by every list read, and a sound file whose name does not
// end in ".wav", which is fetched but never played.
#include <gtest/gtest.h>

#include <string>

#include "fakes/fake_log.h"
#include "fetch_fixture.h"

namespace hta::testing {
namespace {

using ActionPollTest = FetchTest;

// Only what would break the request line is encoded in the parameter.
TEST_F(ActionPollTest, TheListsAddressCarriesItsQuery) {
  ServeLogin(App("a.hta", "A", "a b&c\t") + ActionUrl(kActions));
  Program().ReconnectClicked();
  clock.now = TimeOfDay{21, 7, 3};
  Program().PollTimerTick();
  EXPECT_EQ(http.gets.back(), kActions + "?VANO_BACKOFFICE=a%20b&c%09&ts=21:07:03");
}

// A fetch that fails to start keeps the target and removes what an earlier
// run left beside it.
TEST_F(ActionPollTest, AFailedPollActsOnNothing) {
  State().actionUrl = kActions;
  files.Put(kActionList, Action("popup", "", "", "old"));
  files.Put(kActionList + ".temp", "LEFT OVER");
  http.SetGet(PollUrl(), {.opens = false});
  Program().PollTimerTick();
  EXPECT_EQ(files.Contents(kActionList), Action("popup", "", "", "old"));
  EXPECT_FALSE(files.Exists(kActionList + ".temp"));
  EXPECT_EQ(popups.records.size(), 0u);
  EXPECT_FALSE(Program().Fetch().FetchBusy());
}

// The sound call is given the file in memory, and trusts the lengths it
// states: a file that is no whole wave, or one that cannot be read, is not
// played, and the log says why.
TEST_F(ActionPollTest, ASoundIsFetchedOnlyWhenMissing) {
  fakes::FakeLog log;
  files.Put(kHtaFolder + "bell.wav", Wave("bell"));
  Serve("http://files.test/ding.wav", Wave("ding"));
  Program().Actions().DispatchAction("Sound", "http://files.test/bell.wav", "bell.wav", "");
  Program().Actions().DispatchAction("SOUND", "http://files.test/ding.wav", "ding.wav", "");
  EXPECT_EQ(http.gets, Lines{"http://files.test/ding.wav"});
  EXPECT_EQ(sound.played, (Lines{Played("bell"), Played("ding")}));

  std::string lying = Wave("short");
  lying[lying.size() - 10] = '\x7F';  // the data chunk claims more than there is
  files.Put(kHtaFolder + "lying.wav", lying);
  files.Put(kHtaFolder + "locked.wav", Wave("locked"));
  files.MarkUnreadable(kHtaFolder + "locked.wav");
  Program().Actions().DispatchAction("sound", "", "lying.wav", "");
  Program().Actions().DispatchAction("sound", "", "locked.wav", "");
  EXPECT_EQ(sound.played.size(), 2u);
  EXPECT_EQ(log.lines,
            (Lines{"INFO Sound: bell.wav", "INFO Download written: ding.wav", "INFO Sound: ding.wav",
                   "INFO Sound refused: lying.wav: not a whole wave file",
                   "INFO Sound refused: locked.wav: could not be read (in use by another program)"}));
}

TEST_F(ActionPollTest, LaunchFetchesEvenAFileThatIsThere) {
  files.Put(kHtaFolder + "app.hta", "OLD");
  Serve("http://files.test/app.hta", "NEW");
  Program().Actions().DispatchAction("Launch", "http://files.test/app.hta", "app", "");
  EXPECT_EQ(http.gets, Lines{"http://files.test/app.hta"});
  EXPECT_EQ(files.Contents(kHtaFolder + "app.hta"), "NEW");
}

// Nor does a tick without an action address.
TEST_F(ActionPollTest, UnknownTypesDoNothing) {
  Program().PollTimerTick();
  for (const char* type : {"sounds", "popup2", "launch "}) {
    Program().Actions().DispatchAction(type, "http://files.test/x.hta", "x", "text");
  }
  EXPECT_EQ(http.gets, Lines{});
  EXPECT_EQ(sound.played, Lines{});
  EXPECT_EQ(popups.records.size(), 0u);
}

// The rule itself is in file_names_test.cpp.
TEST_F(ActionPollTest, RefusedFileNamesAreNeverUsed) {
  Program().Actions().DispatchAction("sound", "http://files.test/s.wav", "..\\evil", "");
  Program().Actions().DispatchAction("launch", "http://files.test/s.hta", "..\\evil", "");
  // Only the poll writes the action list.
  Program().Actions().DispatchAction("sound", "http://files.test/s.wav", "Actions.XML", "");
  EXPECT_EQ(http.gets, Lines{});
  Program().Actions().DispatchAction("popup", "http://files.test/x.hta", "..\\evil", "still shown");
  ASSERT_EQ(popups.records.size(), 1u);
  EXPECT_EQ(popups.At(1).text, "still shown");
  EXPECT_FALSE(popups.At(1).link);
}

TEST_F(ActionPollTest, AnEmptyListResetsPopupCountAMissingOrTooLongOneChangesNothing) {
  Program().PopupWindows().PopupCount(3);
  Program().Actions().ProcessActionList();
  EXPECT_EQ(Program().PopupWindows().PopupCount(), 3);
  std::string tooLong = Action("popup", "", "", "never");
  tooLong.resize(kTransferLimits.textBytes + 1, ' ');
  files.Put(kActionList, tooLong);
  Program().Actions().ProcessActionList();
  EXPECT_EQ(Program().PopupWindows().PopupCount(), 3);
  EXPECT_EQ(popups.records.size(), 0u);

  // A malformed list keeps the actions before the fault.
  files.Put(kActionList, Action("popup", "", "", "first") + "<action type=\"popup>");
  Program().Actions().ProcessActionList();
  ASSERT_EQ(popups.records.size(), 1u);
  EXPECT_EQ(popups.At(1).text, "first");
  files.Put(kActionList, "");
  Program().Actions().ProcessActionList();
  EXPECT_EQ(Program().PopupWindows().PopupCount(), 0);
}

}  // namespace
}  // namespace hta::testing
