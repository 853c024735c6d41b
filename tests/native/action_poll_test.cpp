// The action poll through frmMain over fakes: the list's address, the
// dispatch table, the file-name rule for action files, PopupCount reset by
// every list read, lists of any length, and the re-processing of the list
// after a sound file whose name does not end in "wav".
#include <gtest/gtest.h>

#include <string>

#include "fetch_fixture.h"

namespace hta::testing {
namespace {

using ActionPollTest = FetchTest;

TEST_F(ActionPollTest, WithoutAnActionAddressTicksFetchNothing) {
  Form().Timer1_Timer();
  EXPECT_EQ(Gets(), Lines{});
}

TEST_F(ActionPollTest, AddressCarriesTheEncodedParameterAndA24HourTimeStamp) {
  State().ActionUrl = kActions;
  State().AppParam = "a b&c\t";
  clock.now = TimeOfDay{21, 7, 3};
  Form().Timer1_Timer();
  EXPECT_EQ(Gets(), Lines{kActions + "?VANO_BACKOFFICE=a%20b&c%09&ts=21:07:03"});
}

TEST_F(ActionPollTest, LoginRepliesActionAddressAndParameterAreUsedByTheTick) {
  ServeLogin(App("main", "Main", "x1") + ActionUrl(kActions));
  Form().cmdLogin_Click();
  Serve(PollUrl("x1"), Action("popup", "", "", "hello"));
  Form().Timer1_Timer();
  EXPECT_EQ(Gets().back(), PollUrl("x1"));
  EXPECT_EQ(files.Contents(kActionList), Action("popup", "", "", "hello"));
  ASSERT_EQ(popups.records.size(), 1u);
  EXPECT_EQ(popups.At(1).text, "hello");
}

TEST_F(ActionPollTest, FailedPollKeepsTheOldListAndProcessesNothing) {
  State().ActionUrl = kActions;
  files.Put(kActionList, Action("popup", "", "", "old"));
  fakes::FakeHttp::GetReply missing;
  missing.opens = false;
  http.SetGet(PollUrl(), missing);
  Form().Timer1_Timer();
  EXPECT_EQ(files.Contents(kActionList), Action("popup", "", "", "old"));
  EXPECT_EQ(popups.records.size(), 0u);
}

TEST_F(ActionPollTest, SoundInAnyCasePlaysALocalFileAtOnceAndFetchesAMissingOneFirst) {
  files.Put(kHtaFolder + "bell.wav", "RIFF");
  Serve("http://files.test/ding.wav", "RIFF");
  Form().Actions().DispatchAction("Sound", "http://files.test/bell.wav", "bell.wav", "");
  Form().Actions().DispatchAction("SOUND", "http://files.test/ding.wav", "ding.wav", "");
  EXPECT_EQ(Gets(), Lines{"http://files.test/ding.wav"});
  EXPECT_EQ(sound.played, (Lines{Wav(kHtaFolder + "bell.wav"), Wav(kHtaFolder + "ding.wav")}));
}

TEST_F(ActionPollTest, LaunchFetchesEveryTimeAndOpensWithTheApplicationParameter) {
  State().AppParam = "user=1";
  files.Put(kHtaFolder + "app.hta", "OLD");
  Serve("http://files.test/app.hta", "NEW");
  Form().Actions().DispatchAction("launch", "http://files.test/app.hta", "app", "");
  Form().Actions().DispatchAction("Launch", "http://files.test/app.hta", "app", "");
  EXPECT_EQ(Gets(), (Lines{"http://files.test/app.hta", "http://files.test/app.hta"}));
  EXPECT_EQ(Launches(), (Lines{kHtaFolder + "app.hta|user=1", kHtaFolder + "app.hta|user=1"}));
  EXPECT_EQ(files.Contents(kHtaFolder + "app.hta"), "NEW");
}

TEST_F(ActionPollTest, UnknownTypesDoNothing) {
  for (const char* type : {"", "sounds", "open", "popup2", "launch "}) {
    Form().Actions().DispatchAction(type, "http://files.test/x.hta", "x", "text");
  }
  EXPECT_EQ(Gets(), Lines{});
  EXPECT_EQ(sound.played, Lines{});
  EXPECT_EQ(popups.records.size(), 0u);
}

TEST_F(ActionPollTest, PopupsWhileUncheckedAreDroppedAndAreShownOnceCheckedAgain) {
  ASSERT_TRUE(view.showPopupsChecked);
  Form().smnuShowPopups_Click();
  EXPECT_FALSE(view.showPopupsChecked);
  Form().Actions().DispatchAction("popup", "", "", "dropped");
  EXPECT_EQ(popups.records.size(), 0u);
  Form().smnuShowPopups_Click();
  EXPECT_TRUE(view.showPopupsChecked);
  Form().Actions().DispatchAction("popup", "", "", "shown");
  EXPECT_EQ(popups.records.size(), 1u);
}

TEST_F(ActionPollTest, PopupWithAFileNameIsALinkThatFetchesAndOpensItWithoutOneNoLink) {
  Serve("http://files.test/x.hta", "X");
  Form().Actions().DispatchAction("Popup", "http://files.test/x.hta", "x", "news");
  Form().Actions().DispatchAction("popup", "http://files.test/x.hta", "", "plain");
  ASSERT_EQ(popups.records.size(), 2u);
  EXPECT_EQ(popups.At(1).text, "news");
  EXPECT_TRUE(popups.At(1).link);
  EXPECT_EQ(popups.At(2).text, "plain");
  EXPECT_FALSE(popups.At(2).link);
  popups.ClickText(1);
  EXPECT_EQ(Gets(), Lines{"http://files.test/x.hta"});
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "x.hta|"});
}

TEST_F(ActionPollTest, RefusedFileNamesAreSkippedAndARefusedPopupShowsWithoutLink) {
  for (const char* name : {"..\\evil", "C:\\x", "sub/x", "nul", "a.", "..", "a\x01"}) {
    Form().Actions().DispatchAction("sound", "http://files.test/s.wav", name, "");
    Form().Actions().DispatchAction("launch", "http://files.test/s.hta", name, "");
  }
  EXPECT_EQ(Gets(), Lines{});
  EXPECT_EQ(sound.played, Lines{});
  EXPECT_EQ(Launches(), Lines{});
  Form().Actions().DispatchAction("popup", "http://files.test/x.hta", "..\\evil", "still shown");
  ASSERT_EQ(popups.records.size(), 1u);
  EXPECT_EQ(popups.At(1).text, "still shown");
  EXPECT_FALSE(popups.At(1).link);
}

TEST_F(ActionPollTest, NewListResetsPopupCountEvenWhenEmptyAndAMissingOneChangesNothing) {
  State().PopupCount = 3;
  Form().Actions().ProcessActionList();
  EXPECT_EQ(State().PopupCount, 3);

  State().PopupCount = 5;
  files.Put(kActionList, "");
  Form().Actions().ProcessActionList();
  EXPECT_EQ(State().PopupCount, 0);
  EXPECT_EQ(popups.records.size(), 0u);

  State().PopupCount = 4;
  files.Put(kActionList, Action("popup", "", "", "one"));
  Form().Actions().ProcessActionList();
  EXPECT_EQ(State().PopupCount, 1);
}

TEST_F(ActionPollTest, ListLongerThan32767CharactersIsProcessedWhole) {
  files.Put(kActionList, std::string(40000, ' ') + Action("popup", "", "", "at the end"));
  Form().Actions().ProcessActionList();
  ASSERT_EQ(popups.records.size(), 1u);
  EXPECT_EQ(popups.At(1).text, "at the end");
}

TEST_F(ActionPollTest, MalformedListKeepsTheActionsBeforeTheFault) {
  files.Put(kActionList, Action("popup", "", "", "first") + "<action type=\"popup>");
  Form().Actions().ProcessActionList();
  ASSERT_EQ(popups.records.size(), 1u);
  EXPECT_EQ(popups.At(1).text, "first");
}

TEST_F(ActionPollTest, NonWaveSoundIsNotPlayedOnArrivalAndTheListRunsAgainFromItsStart) {
  State().ActionUrl = kActions;
  const std::string list =
      Action("popup", "", "", "top") + Action("sound", "http://files.test/beep", "beep.mp3");
  Serve(PollUrl(), list);
  Serve("http://files.test/beep", "ID3");
  Form().Timer1_Timer();
  EXPECT_EQ(Gets(), (Lines{PollUrl(), "http://files.test/beep"}));
  // Once in the first run, once in the run the arrival started.
  EXPECT_EQ(popups.records.size(), 2u);
  // The second run finds the file local and hands it to the sound call,
  // which stays silent for a file it cannot play (no default sound).
  EXPECT_EQ(sound.played, Lines{Wav(kHtaFolder + "beep.mp3")});
}

}  // namespace
}  // namespace hta::testing
