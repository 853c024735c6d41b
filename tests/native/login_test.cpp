// Bootstrap and login: cmdLogin_Click and ConnectServer over the fakes, from
// the bootstrap requests to the processed reply.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/login.h"
#include "launcher_fixture.h"

namespace hta::testing {
namespace {

class LoginTest : public LauncherTest {
 protected:
  // As InitLauncher leaves it, for the tests that log in without Form_Load.
  LoginTest() { State().HtaFolder = kHtaFolder; }

  // Start-up, then forget what it did, so that each test scripts its own login.
  void Start() {
    Form().Form_Load();
    view.lines.clear();
    http.calls.clear();
    dialogs.inner.shown.clear();
  }

  // The one message box shown has this text, the program's title and no icon.
  void ExpectOneMessage(const std::string& text) {
    ASSERT_EQ(dialogs.inner.shown.size(), 1u);
    EXPECT_EQ(dialogs.inner.shown[0].text, text);
    EXPECT_EQ(dialogs.inner.shown[0].caption, "App Launcher");
    EXPECT_EQ(dialogs.inner.shown[0].icon, MessageIcon::None);
  }
};

// Bootstrap

TEST_F(LoginTest, EndpointsAreTriedInOrderUntilOneGivesAnAddressWithoutControlCharacters) {
  Serve(BootUrl(kBoot1), "http://server.test/\r\nX-Injected: 1");
  Serve(BootUrl(kBoot2), "http://server.test/login.php\t");
  Serve(BootUrl(kBoot3), "https://secure.test/s.php");
  Serve(LoginUrl("", "https://secure.test/s.php"), App("a.hta", "A"));
  Form().cmdLogin_Click();
  EXPECT_EQ(Gets(), (Lines{BootUrl(kBoot1), BootUrl(kBoot2), BootUrl(kBoot3),
                           LoginUrl("", "https://secure.test/s.php")}));
  EXPECT_EQ(State().ServerUrl, "https://secure.test/s.php");
  EXPECT_EQ(view.entries[0].caption, "A");
}

TEST(AcceptBootstrapReplyTest, Rules) {
  EXPECT_EQ(AcceptBootstrapReply("http://a/"), "http://a/");
  EXPECT_EQ(AcceptBootstrapReply("https://a/x.php?y=1"), "https://a/x.php?y=1");
  EXPECT_EQ(AcceptBootstrapReply("http://a/ \r\n"), "http://a/");
  EXPECT_EQ(AcceptBootstrapReply("http://a/\r\n  \n"), "http://a/");
  EXPECT_EQ(AcceptBootstrapReply("http://"), "http://");
  for (const char* refused : {"", "\r\n", "http:/", "Https://a/", "HTTP://a/", " http://a/", "\nhttp://a/",
                              "http://a/\x7f", "ftp://a/"}) {
    EXPECT_EQ(AcceptBootstrapReply(refused), std::nullopt) << refused;
  }
  EXPECT_EQ(AcceptBootstrapReply(std::string("http://a/\0", 10)), std::nullopt);
}

TEST_F(LoginTest, NoEndpointAnsweringShowsTheMessageThenEndsWithoutSaving) {
  settings.Put("HTA_Launcher", "user", "user", "alice");
  std::string statusWhileUp;
  dialogs.onShow = [&](const std::string&) { statusWhileUp = view.statusText; };

  Form().Form_Load();

  EXPECT_EQ(Gets(), (Lines{BootUrl(kBoot1), BootUrl(kBoot2), BootUrl(kBoot3)}));
  ExpectOneMessage("Unable to connect to any of VANO servers. Please try again later.");
  EXPECT_EQ(statusWhileUp, "Connecting to VANO servers...");
  EXPECT_TRUE(Form().Ended());
  EXPECT_EQ(view.lines.back(), "Close");
  EXPECT_EQ(settings.saves.size(), 0u);
  EXPECT_EQ(State().ServerUrl, "");
}

TEST_F(LoginTest, RequestsCarryEncodedParametersAndAFreshTwentyFourHourTimeStamp) {
  // Boot parameters keep their query syntax but not their blanks; the user
  // string is encoded but for the unreserved characters.
  registry.PutString(RegistryRoot::CurrentUser, "Software\\VANO\\VANO.exe", "BootParams", "a b&c=%41\r\n");
  Form().InitLauncher();
  view.userText = "Ann-Marie_O.Neil~2 & co=\xE9#%";
  clock.now = TimeOfDay{23, 0, 5};
  const std::string boot = kBoot1 + "?bootparams=a%20b&c=%41%0D%0A&ts=23:00:05";
  Serve(boot, kServer);
  // The clock moves on while the bootstrap request runs.
  pump.onEveryCall = [&](std::size_t) { clock.now = TimeOfDay{9, 8, 7}; };
  Form().cmdLogin_Click();
  EXPECT_EQ(Gets(), (Lines{boot, kServer + "?user=Ann-Marie_O.Neil~2%20%26%20co%3D%E9%23%25&ts=09:08:07"}));
}

// Empty and blank replies

TEST_F(LoginTest, EmptyReplyTellsTheUserAndKeepsMenuAndUserString) {
  settings.Put("HTA_Launcher", "user", "user", "alice");
  ServeLogin(App("a.hta", "A") + App("b.hta", "B"), "alice");
  Start();
  ASSERT_EQ(view.entries[1].caption, "B");
  view.userText = "bob";  // no reply for bob

  Form().cmdLogin_Click();

  EXPECT_EQ(view.lines, (Lines{"SetButtonsEnabled false", "SetStatusText [Connecting to VANO servers...]",
                               "SetStatusText []", "SetButtonsEnabled true"}));
  ExpectOneMessage("Failed to connect to the server. Please check your internet connection and retry");
  EXPECT_EQ(Form().Menu().Caption(2), "B");
  EXPECT_TRUE(Form().Menu().Visible(2));
  EXPECT_EQ(State().UserString, "alice");
  EXPECT_FALSE(Form().Ended());
}

TEST_F(LoginTest, ReplyOfBlanksEmptiesTheMenuProcessesNothingAndSaysNothing) {
  ServeLogin(App("a.hta", "A") + ActionUrl("http://actions.test/a.php"));
  Start();
  Serve(LoginUrl(""), "     ");

  Form().cmdLogin_Click();

  for (int index = 1; index <= 10; ++index) {
    EXPECT_FALSE(Form().Menu().Visible(index)) << index;
    EXPECT_EQ(Form().Menu().Caption(index), "") << index;
    EXPECT_EQ(Form().Menu().Tag(index), "") << index;
  }
  EXPECT_EQ(Messages(), Lines{});
  EXPECT_TRUE(view.buttonsEnabled);
  EXPECT_FALSE(Form().InTray());
  // Not even the action-list address is touched.
  EXPECT_EQ(State().ActionUrl, "http://actions.test/a.php");
}

// The main application

TEST_F(LoginTest, MainApplicationIsOpenedAndItsIndexKeptByRepliesThatMarkNone) {
  ServeLogin(App("a.hta", "A", "pa") + App("b.hta", "B", "pb", true) + App("c.hta", "C", "pc"));
  Form().cmdLogin_Click();
  EXPECT_EQ(State().MainAppIndex, 2);
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "b.hta|pb"});
  EXPECT_TRUE(Form().InTray());
  EXPECT_FALSE(view.buttonsEnabled);
  EXPECT_EQ(view.lines.back(), "ShrinkToTray");
  // The last application element sets the parameter.
  EXPECT_EQ(State().AppParam, "pc");

  // A reply that marks nothing and has no second entry opens nothing.
  Serve(LoginUrl(""), App("x.hta", "X"));
  Form().cmdLogin_Click();
  EXPECT_EQ(State().MainAppIndex, 2);
  EXPECT_FALSE(Form().Menu().Visible(2));
  EXPECT_EQ(Launches().size(), 1u);
  EXPECT_EQ(view.lines.back(), "SetButtonsEnabled true");

  // One that marks nothing but has a second entry opens it.
  Serve(LoginUrl(""), App("x.hta", "X") + App("y.hta", "Y", "py") + App("z.hta", "Z"));
  Form().cmdLogin_Click();
  EXPECT_EQ(Launches(), (Lines{kHtaFolder + "b.hta|pb", kHtaFolder + "y.hta|py"}));
}

TEST_F(LoginTest, ElevenApplicationsFillTenEntriesAndTheEleventhSetsOnlyTheParameter) {
  std::string reply;
  for (int i = 1; i <= 11; ++i) {
    reply +=
        App("app" + std::to_string(i) + ".hta", "App " + std::to_string(i), "p" + std::to_string(i), i == 11);
  }
  ServeLogin(reply);

  Form().cmdLogin_Click();

  for (int i = 1; i <= 10; ++i) {
    EXPECT_TRUE(Form().Menu().Visible(i)) << i;
    EXPECT_EQ(Form().Menu().Tag(i), "app" + std::to_string(i) + ".hta@@@p" + std::to_string(i));
    EXPECT_EQ(view.entries[static_cast<std::size_t>(i - 1)].caption, "App " + std::to_string(i));
  }
  EXPECT_EQ(State().AppParam, "p11");
  EXPECT_EQ(State().MainAppIndex, 0);
  EXPECT_EQ(Launches(), Lines{});
}

// Order of the reply's effects

TEST_F(LoginTest, MenuThenDownloadsThenMessagesThenActionUrl) {
  // The text order differs from the order of the effects on purpose.
  ServeLogin(ActionUrl("http://actions.test/list.php") + Message("Welcome") +
             Download("a.hta", "http://files.test/a.hta") + App("a.hta", "A"));
  Serve("http://files.test/a.hta", "<html>A</html>");
  std::string fileWhileUp;
  std::string actionUrlWhileUp;
  dialogs.onShow = [&](const std::string&) {
    fileWhileUp = files.Contents(kHtaFolder + "a.hta").value_or("(none)");
    actionUrlWhileUp = State().ActionUrl;
  };

  Form().cmdLogin_Click();

  EXPECT_EQ(Gets(), (Lines{BootUrl(kBoot1), LoginUrl(""), "http://files.test/a.hta"}));
  EXPECT_EQ(view.lines, LoginViewLines({}, {
                                               "SetAppEntry 1 [A] visible",
                                               "SetStatusText [downloading new version of a.hta]",
                                               "SetStatusText []",
                                               "SetStatusText []",
                                               "SetButtonsEnabled true",
                                           }));
  ExpectOneMessage("Welcome");
  EXPECT_EQ(fileWhileUp, "<html>A</html>\r\n");
  EXPECT_EQ(actionUrlWhileUp, "");
  EXPECT_EQ(State().ActionUrl, "http://actions.test/list.php");
}

TEST_F(LoginTest, EveryLoginReplacesTheActionUrl) {
  ServeLogin(ActionUrl("http://a.test/1") + ActionUrl("http://a.test/2"));
  Form().cmdLogin_Click();
  EXPECT_EQ(State().ActionUrl, "http://a.test/2");
  Serve(LoginUrl(""), App("a.hta", "A"));
  Form().cmdLogin_Click();
  EXPECT_EQ(State().ActionUrl, "");
}

// Malformed replies: each kind is read on its own

TEST_F(LoginTest, MalformedApplicationEndsOnlyTheApplicationsAndTheRestOfTheReplyIsUsed) {
  ServeLogin(App("a.hta", "A") + "<application filename=\"b.hta\" main=\"yes\">B, never closed\r\n" +
             Download("a.hta", "http://files.test/a.hta") + Message("still shown") +
             ActionUrl("http://actions.test/list.php"));
  Serve("http://files.test/a.hta", "new");

  Form().cmdLogin_Click();

  EXPECT_EQ(Form().Menu().Caption(1), "A");
  EXPECT_FALSE(Form().Menu().Visible(2));
  EXPECT_EQ(files.Contents(kHtaFolder + "a.hta"), "new\r\n");
  EXPECT_EQ(Messages(), Lines{"still shown"});
  EXPECT_EQ(State().ActionUrl, "http://actions.test/list.php");
  EXPECT_EQ(State().MainAppIndex, 0);
  EXPECT_FALSE(Form().Ended());
  EXPECT_TRUE(view.buttonsEnabled);
}

TEST_F(LoginTest, MalformedActionUrlLeavesItClearedAndEverythingBeforeItStands) {
  ServeLogin(ActionUrl("http://a.test/old"));
  Form().cmdLogin_Click();
  ASSERT_EQ(State().ActionUrl, "http://a.test/old");

  Serve(LoginUrl(""), App("a.hta", "A", "", true) + Message("hi") + "<actionurl>http://a.test/new");
  Form().cmdLogin_Click();

  EXPECT_EQ(State().ActionUrl, "");
  EXPECT_EQ(Messages(), Lines{"hi"});
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "a.hta|"});
  EXPECT_TRUE(Form().InTray());
}

TEST_F(LoginTest, MalformedDownloadStillLetsMessagesThrough) {
  ServeLogin("<download filename=\"a.hta\" href=\"http://files.test/a.hta\r\n" + Message("hi"));
  Form().cmdLogin_Click();
  EXPECT_EQ(Messages(), Lines{"hi"});
  EXPECT_EQ(Gets().size(), 2u);
}

// One login at a time

TEST_F(LoginTest, ALoginIsNotStartedFromInsideAnother) {
  Serve(BootUrl(kBoot1), kServer);
  Serve(LoginUrl(""), App("a.hta", "A"));
  bool clicked = false;
  pump.onEveryCall = [&](std::size_t) {
    if (!clicked) {
      clicked = true;
      EXPECT_TRUE(form->LoginRunning());
      form->cmdLogin_Click();
    }
  };
  Form().cmdLogin_Click();
  EXPECT_EQ(Gets(), (Lines{BootUrl(kBoot1), LoginUrl("")}));
  EXPECT_FALSE(Form().LoginRunning());
}

}  // namespace
}  // namespace hta::testing
