// Bootstrap and login: ReconnectClicked and ConnectServer over the fakes, from
// the bootstrap requests to the processed reply. The end-to-end tests under
// Wine show the endpoints tried in order, the failure messages, the
// downloads and the main application opened through the real program; these
// pin the rules and orders they cannot reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "client/login.h"
#include "fakes/fake_log.h"
#include "launcher_fixture.h"

namespace hta::testing {
namespace {

class LoginTest : public LauncherTest {
 protected:
  // As InitLauncher leaves it, for the tests that log in without Start.
  LoginTest() { State().htaFolder = kHtaFolder; }
};

// Bootstrap

TEST(AcceptBootstrapReplyTest, OnlyAnHttpAddressIsAccepted) {
  EXPECT_EQ(AcceptBootstrapReply("https://a/x.php?y=1"), "https://a/x.php?y=1");
  EXPECT_EQ(AcceptBootstrapReply("http://a/ \r\n"), "http://a/");
  EXPECT_EQ(AcceptBootstrapReply("http://"), "http://");
  for (const char* refused : {"", "Https://a/", " http://a/", "ftp://a/", "http://a/\r\nX-Injected: 1",
                              "http://a/\t", "http://a/\x7f"}) {
    EXPECT_EQ(AcceptBootstrapReply(refused), std::nullopt) << refused;
  }
  EXPECT_EQ(AcceptBootstrapReply(std::string("http://a/\0", 10)), std::nullopt);
}

TEST_F(LoginTest, RequestsCarryTheirQueryEncoded) {
  // Boot parameters keep their query syntax but not their blanks; the user
  // string is encoded but for the unreserved characters.
  registry.PutString(RegistryRoot::CurrentUser, "Software\\VANO\\VANO.exe", "BootParams",
                     "a b&c=%41/+\xE9\r\n\t\x7F");
  Program().InitLauncher();
  view.userText = std::string("Ann-Marie_O.Neil~2 & co=\xE9#%/+\0\x1F\x7F\xFF", 33);
  clock.now = TimeOfDay{23, 0, 5};
  const std::string boot = kBoot1 + "?bootparams=a%20b&c=%41/+\xE9%0D%0A%09%7F&ts=23:00:05";
  Serve(boot, kServer);
  // The clock moves on while the bootstrap request runs.
  pump.onEveryCall = [&](std::size_t) { clock.now = TimeOfDay{9, 8, 7}; };
  Program().ReconnectClicked();
  EXPECT_EQ(
      http.gets,
      (Lines{boot,
             kServer + "?user=Ann-Marie_O.Neil~2%20%26%20co%3D%E9%23%25%2F%2B%00%1F%7F%FF&ts=09:08:07"}));
}

// Empty and blank replies

// Every other login replaces the action URL, the last one of the reply.
TEST_F(LoginTest, AReplyOfBlanksEmptiesTheMenu) {
  ServeLogin(App("a.hta", "A") + ActionUrl("http://a.test/1") + ActionUrl("http://a.test/2"));
  Program().ReconnectClicked();
  Serve(LoginUrl(""), "     ");
  Program().ReconnectClicked();
  EXPECT_FALSE(Program().Menu().Visible(1));
  EXPECT_EQ(Program().Menu().Caption(1), "");
  EXPECT_EQ(Messages(), Lines{});
  EXPECT_EQ(State().actionUrl, "http://a.test/2");
  Serve(LoginUrl(""), App("a.hta", "A"));
  Program().ReconnectClicked();
  EXPECT_EQ(State().actionUrl, "");
}

// The main application

TEST_F(LoginTest, MainApplicationIndexIsKeptByRepliesThatMarkNone) {
  ServeLogin(App("a.hta", "A", "pa") + App("b.hta", "B", "pb", true) + App("c.hta", "C", "pc"));
  Program().ReconnectClicked();
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "b.hta|pb"});
  // A reply that marks none and has no second entry opens nothing...
  Serve(LoginUrl(""), App("x.hta", "X"));
  Program().ReconnectClicked();
  EXPECT_EQ(Launches().size(), 1u);
  // ...one that has a second entry opens it.
  Serve(LoginUrl(""), App("x.hta", "X") + App("y.hta", "Y", "py"));
  Program().ReconnectClicked();
  EXPECT_EQ(Launches(), (Lines{kHtaFolder + "b.hta|pb", kHtaFolder + "y.hta|py"}));
}

TEST_F(LoginTest, TheEleventhApplicationOnlySetsTheParameter) {
  std::string reply;
  for (int i = 1; i <= 11; ++i) {
    reply +=
        App("app" + std::to_string(i) + ".hta", "App " + std::to_string(i), "p" + std::to_string(i), i == 11);
  }
  ServeLogin(reply);
  Program().ReconnectClicked();
  EXPECT_EQ(Program().Menu().Tag(10), "app10.hta@@@p10");
  EXPECT_EQ(State().appParam, "p11");
  EXPECT_EQ(State().mainAppIndex, 0);
  EXPECT_EQ(Launches(), Lines{});
}

// Each kind of element is read on its own: a malformed one ends only the
// reading of its kind, and the elements of that kind before it stand.
TEST_F(LoginTest, AMalformedElementEndsOnlyTheReadingOfItsOwnKind) {
  ServeLogin(App("a.hta", "A") + "<application filename=\"b.hta\" main=\"yes\">B, never closed\r\n" +
             Download("a.hta", "http://files.test/a.hta") +
             "<download filename=\"c.hta\" href=\"http://files.test/c.hta\r\n" + Message("still shown") +
             "<actionurl>http://a.test/new");
  Serve("http://files.test/a.hta", "new");
  Serve("http://files.test/c.hta", "new");

  Program().ReconnectClicked();

  EXPECT_EQ(Program().Menu().Caption(1), "A");
  EXPECT_FALSE(Program().Menu().Visible(2));
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "new\r\n");
  EXPECT_FALSE(files.Exists(kHtaFolder + "c.hta"));
  EXPECT_EQ(Messages(), Lines{"still shown"});
  EXPECT_EQ(State().actionUrl, "");
}

// One login at a time

// A file name the reply gives is bytes of the ANSI code page (Latin-1 in
// the fake): confined as it came, then made a UTF-8 path where it names a
// file (the download, the launch, an action's file) and in the log; the
// captions, the parameters and the menu's tags stay the reply's bytes.
TEST_F(LoginTest, FileNamesOfTheReplyBecomePathsOnlyWhereTheyNameFiles) {
  fakes::FakeLog log;
  ServeLogin(App("Zo\xEB.hta", "Zo\xEB", "p\xE9", true) + Download("Zo\xEB.hta", "http://files.test/z") +
             Download("..\\Zo\xEB.hta", "http://files.test/z"));
  Serve("http://files.test/z", "Z");
  Program().ReconnectClicked();
  const std::string path = kHtaFolder + "Zo\xC3\xAB.hta";
  EXPECT_EQ(files.Contents(path), "Z\r\n");
  EXPECT_EQ(Launches(), Lines{path + "|p\xE9"});
  EXPECT_EQ(Program().Menu().Caption(1), "Zo\xEB");
  EXPECT_EQ(Program().Menu().Tag(1), "Zo\xEB.hta@@@p\xE9");
  EXPECT_NE(
      std::find(view.lines.begin(), view.lines.end(), "SetStatusText downloading new version of Zo\xEB.hta"),
      view.lines.end());
  Program().Actions().DispatchAction("launch", "http://files.test/z", "r\xE9sum\xE9", "");
  EXPECT_EQ(Launches().back(), kHtaFolder + "r\xC3\xA9sum\xC3\xA9.hta|p\xE9");
  // A text that was not converted cannot break the log's UTF-8; an
  // address's other bytes are percent-encoded.
  LogInfo("raw Zo\xEB");
  EXPECT_EQ(LogAddress("http://h.test/r\xE9sum\xE9?q=\xE9"), "http://h.test/r%E9sum%E9");
  for (const char* line :
       {"INFO Download written: Zo\xC3\xAB.hta",
        "INFO Download refused: ..\\Zo\xC3\xAB.hta: not a plain file name", "INFO Launch: Zo\xC3\xAB.hta",
        "INFO Launch: r\xC3\xA9sum\xC3\xA9.hta", "INFO raw Zo?"}) {
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), line), log.lines.end()) << line;
  }
}

TEST_F(LoginTest, ALoginIsNotStartedFromInsideAnother) {
  ServeLogin(App("a.hta", "A"));
  bool clicked = false;
  pump.onEveryCall = [&](std::size_t) {
    if (!clicked) {
      clicked = true;
      EXPECT_TRUE(launcher->LoginRunning());
      launcher->ReconnectClicked();
    }
  };
  Program().ReconnectClicked();
  EXPECT_EQ(http.gets, (Lines{BootUrl(kBoot1), LoginUrl("")}));
  EXPECT_FALSE(Program().LoginRunning());
}

}  // namespace
}  // namespace hta::testing
