// Start-up and shut-down of the main window: Form_Load, InitLauncher,
// Form_Unload, and the readers they use.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "launcher_fixture.h"
#include "shell/frm_main.h"
#include "shell/registry_text.h"

namespace hta::testing {
namespace {

using fakes::FakeRegistry;
using fakes::FakeUserSettings;

constexpr const char* kVano = "Software\\VANO\\VANO.exe";

class StartupTest : public LauncherTest {};

// ---------------------------------------------------------------------------
// The whole start-up

TEST_F(StartupTest, FirstRunLogsInWithEmptyDefaultsAndTheWindowStays) {
  files.AddFolder(kTemp);
  ServeLogin(App("a.hta", "A"));

  Form().Form_Load();

  EXPECT_EQ(view.lines,
            LoginViewLines({"ArmTimer 60000", "SetVersionText [version 3.0.4]", "SetRunChecked false",
                            "SetUserText []", "SetShowPopupsChecked true"},
                           {"SetAppEntry 1 [A] visible", "SetStatusText []", "SetButtonsEnabled true"}));
  // The empty user string still logs in: nothing between "?user=" and "&ts=".
  EXPECT_EQ(Gets(), (Lines{BootUrl(kBoot1), LoginUrl("")}));
  EXPECT_EQ(State().HtaFolder, kHtaFolder);
  EXPECT_EQ(files.folderCreations, Lines{kHtaFolder});
  EXPECT_TRUE(files.FolderExists(kHtaFolder));
  EXPECT_EQ(State().BootParams, "");
  EXPECT_EQ(State().MainAppIndex, 0);
  EXPECT_EQ(Messages(), Lines{});
  EXPECT_FALSE(Form().Ended());
  EXPECT_FALSE(Form().InTray());
  // Start-up reads; only Form_Unload writes.
  EXPECT_EQ(settings.saves, std::vector<FakeUserSettings::Saved>{});
  EXPECT_EQ(registry.writeCalls, 0u);
}

TEST_F(StartupTest, SuccessfulAutomaticLoginOpensTheMainApplicationAndGoesToTheTray) {
  settings.Put("HTA_Launcher", "user", "user", "alice");
  ServeLogin(App("a.hta", "A") + App("main.hta", "Main", "p=1", true), "alice");

  Form().Form_Load();

  EXPECT_EQ(Launches(), Lines{kHtaFolder + "main.hta|p=1"});
  EXPECT_TRUE(Form().InTray());
  EXPECT_TRUE(view.inTray);
  EXPECT_FALSE(view.buttonsEnabled);
  EXPECT_EQ(view.lines.back(), "ShrinkToTray");
  EXPECT_FALSE(Form().Ended());
}

TEST_F(StartupTest, WholeRoadFromLoadToTray) {
  // What a configured workstation has: a remembered user, popups off, boot
  // parameters, an authenticated proxy, the application folder.
  settings.Put("HTA_Launcher", "user", "user", "Jo Smith");
  settings.Put("HTA_Launcher", "settings", "showPopups", "False");
  registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", "site=7");
  registry.PutString(RegistryRoot::CurrentUser, kRunKeyPath, "Launcher", "\"C:\\x\\Launcher.exe\"");
  files.Put(kIniPath, "[proxy]\r\nProxyServer=proxy.corp\r\nProxyPort=8080\r\n");
  files.AddFolder(kHtaFolder);
  files.Put(kHtaFolder + "crm.hta", "old crm");
  // The back office: endpoint 1 is down, endpoint 2 names the server.
  Serve(BootUrl(kBoot2, "site=7"), kServer + "\r\n");
  Serve(LoginUrl("Jo%20Smith"), App("crm.hta", "CRM", "u=jo") + App("mail.hta", "Mail", "u=jo&m=1", true) +
                                    Download("crm.hta", "http://files.test/crm.hta") +
                                    Message("Welcome, Jo") + ActionUrl("http://server.test/actions.php"));
  Serve("http://files.test/crm.hta", "new crm");

  Form().Form_Load();

  EXPECT_EQ(Gets(), (Lines{BootUrl(kBoot1, "site=7"), BootUrl(kBoot2, "site=7"), LoginUrl("Jo%20Smith"),
                           "http://files.test/crm.hta"}));
  EXPECT_NE(http.calls.front().find("access=3 proxy=[proxy.corp:8080]"), std::string::npos);
  EXPECT_TRUE(view.runChecked);
  EXPECT_FALSE(view.showPopupsChecked);
  EXPECT_EQ(view.userText, "Jo Smith");
  EXPECT_EQ(view.versionText, "version 3.0.4");
  EXPECT_EQ(view.entries[0].caption, "CRM");
  EXPECT_EQ(view.entries[1].caption, "Mail");
  EXPECT_FALSE(view.entries[2].visible);
  EXPECT_EQ(files.Contents(kHtaFolder + "crm.hta"), "new crm\r\n");
  EXPECT_EQ(Messages(), Lines{"Welcome, Jo"});
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "mail.hta|u=jo&m=1"});
  EXPECT_EQ(State().ServerUrl, kServer);
  EXPECT_EQ(State().ActionUrl, "http://server.test/actions.php");
  EXPECT_EQ(State().AppParam, "u=jo&m=1");
  EXPECT_EQ(State().MainAppIndex, 2);
  EXPECT_EQ(State().UserString, "Jo Smith");
  EXPECT_TRUE(Form().InTray());
  EXPECT_FALSE(view.buttonsEnabled);
  EXPECT_FALSE(Form().Ended());
  EXPECT_EQ(settings.saves.size(), 0u);
  EXPECT_EQ(registry.writeCalls, 0u);

  Form().smnuExit_Click();
  EXPECT_EQ(settings.saves, (std::vector<FakeUserSettings::Saved>{
                                {"HTA_Launcher", "user", "user", "Jo Smith"},
                                {"HTA_Launcher", "settings", "showPopups", "False"},
                            }));
  EXPECT_TRUE(Form().Ended());
}

TEST_F(StartupTest, TheTimerIsArmedBeforeAnythingElse) {
  instance.anotherCopy = true;
  Form().Form_Load();
  ASSERT_FALSE(view.lines.empty());
  EXPECT_EQ(view.lines.front(), "ArmTimer 60000");
  EXPECT_EQ(view.timerInterval, 60000u);
}

TEST_F(StartupTest, SecondCopyBringsTheFirstForwardAndEndsWithoutSideEffects) {
  instance.anotherCopy = true;
  settings.Put("HTA_Launcher", "user", "user", "alice");
  registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", "x");
  ServeLogin(App("a.hta", "A", "", true), "alice");

  Form().Form_Load();

  EXPECT_EQ(instance.activations, 1u);
  EXPECT_TRUE(Form().Ended());
  EXPECT_EQ(view.lines, (Lines{"ArmTimer 60000", "Close"}));
  EXPECT_EQ(http.calls, Lines{});
  EXPECT_EQ(registry.calls, Lines{});
  EXPECT_EQ(settings.saves, std::vector<FakeUserSettings::Saved>{});
  EXPECT_EQ(files.folderCreations, Lines{});
  EXPECT_EQ(profile.calls.size(), 0u);

  // The window's close that follows runs Form_Unload: it must store nothing.
  Form().Form_Unload();
  EXPECT_EQ(settings.saves, std::vector<FakeUserSettings::Saved>{});
  EXPECT_EQ(view.closes, 1u);
}

TEST_F(StartupTest, FormLoadRunsOnce) {
  ServeLogin("");
  Form().Form_Load();
  const std::size_t gets = Gets().size();
  Form().Form_Load();
  EXPECT_EQ(Gets().size(), gets);
  EXPECT_EQ(instance.claims, 1u);
}

TEST_F(StartupTest, VersionLabelOfThisBuild) {
  EXPECT_EQ(VersionText(), "version 3.0.4");
}

// ---------------------------------------------------------------------------
// The application folder

TEST_F(StartupTest, ExistingApplicationFolderIsReusedWithItsContents) {
  files.AddFolder(kHtaFolder);
  files.Put(kHtaFolder + "old.hta", "old");
  Form().Form_Load();
  EXPECT_EQ(files.folderCreations, Lines{});
  EXPECT_EQ(files.Contents(kHtaFolder + "old.hta"), "old");
}

TEST_F(StartupTest, FolderThatCannotBeCreatedDoesNotStopTheStartUp) {
  files.folderCreationFails = true;
  ServeLogin(App("a.hta", "A"));
  Form().Form_Load();
  EXPECT_EQ(files.folderCreations, Lines{kHtaFolder});
  EXPECT_EQ(view.entries[0].caption, "A");
  EXPECT_FALSE(Form().Ended());
}

TEST_F(StartupTest, NoTemporaryFolderLeavesARelativeApplicationFolder) {
  env.tempFolder = "";
  Form().Form_Load();
  EXPECT_EQ(State().HtaFolder, "hta\\");
}

TEST(FolderExistsTest, AddsTheTrailingBackslashAndNeverFails) {
  fakes::FakeFileSystem files;
  files.AddFolder("C:\\Temp\\hta");
  EXPECT_TRUE(FolderExists(files, "C:\\Temp\\hta"));
  EXPECT_TRUE(FolderExists(files, "C:\\Temp\\hta\\"));
  EXPECT_FALSE(FolderExists(files, "C:\\Temp\\other"));
  EXPECT_FALSE(FolderExists(files, ""));
  // A file of that name is no folder.
  files.Put("C:\\Temp\\file", "x");
  EXPECT_FALSE(FolderExists(files, "C:\\Temp\\file"));
}

// ---------------------------------------------------------------------------
// Remembered settings

TEST_F(StartupTest, RememberedUserStringFillsTheBoxAndIsSentEncoded) {
  settings.Put("HTA_Launcher", "user", "user", "Jo Smith&co");
  Serve(BootUrl(kBoot1), kServer);
  Form().Form_Load();
  EXPECT_EQ(view.userText, "Jo Smith&co");
  EXPECT_EQ(State().UserString, "Jo Smith&co");
  EXPECT_EQ(Gets().back(), LoginUrl("Jo%20Smith%26co"));
}

TEST_F(StartupTest, StoredFalseStartsWithPopupsUncheckedAndExitStoresIt) {
  settings.Put("HTA_Launcher", "settings", "showPopups", "False");
  ServeLogin("");
  Form().Form_Load();
  EXPECT_FALSE(view.showPopupsChecked);

  Form().cmdExit_Click();
  EXPECT_EQ(settings.Value("HTA_Launcher", "settings", "showPopups"), "False");
}

TEST_F(StartupTest, UncheckingPopupsAndExitingStoresFalse) {
  ServeLogin("");
  Form().Form_Load();
  EXPECT_TRUE(view.showPopupsChecked);
  view.showPopupsChecked = false;  // the user unticked the menu entry
  Form().smnuExit_Click();
  EXPECT_EQ(settings.Value("HTA_Launcher", "settings", "showPopups"), "False");
}

TEST_F(StartupTest, StoredPopupPreferenceIsReadAsATruthValue) {
  struct Case {
    const char* stored;
    bool checked;
  };
  for (const Case& c :
       {Case{"True", true}, Case{"False", false}, Case{"true", true}, Case{"FALSE", false}, Case{"0", false},
        Case{"1", true}, Case{"-1", true}, Case{"0.0", false}, Case{" 2 ", true},
        // Neither a truth value nor a number: as if absent.
        Case{"maybe", true}, Case{"", true}}) {
    FakeUserSettings stored;
    stored.Put("HTA_Launcher", "settings", "showPopups", c.stored);
    fakes::FakeMainWindow window;
    LauncherPorts ports{window, dialogs, pump,    clock, env,      registry, stored,
                        shell,  files,   profile, http,  instance, popups,   sound};
    frmMain local(ports, {});
    local.InitLauncher();
    EXPECT_EQ(window.showPopupsChecked, c.checked) << "stored [" << c.stored << "]";
  }
}

TEST(TruthValueTest, TruthTextsAndNumbers) {
  EXPECT_EQ(ParseTruthValue("True"), true);
  EXPECT_EQ(ParseTruthValue("false"), false);
  EXPECT_EQ(ParseTruthValue("  TRUE "), true);
  EXPECT_EQ(ParseTruthValue("42"), true);
  EXPECT_EQ(ParseTruthValue("-0"), false);
  EXPECT_EQ(ParseTruthValue("+0.5"), true);
  EXPECT_EQ(ParseTruthValue("yes"), std::nullopt);
  EXPECT_EQ(ParseTruthValue("1.2.3"), std::nullopt);
  EXPECT_EQ(ParseTruthValue("-"), std::nullopt);
  EXPECT_EQ(ParseTruthValue(""), std::nullopt);
}

// ---------------------------------------------------------------------------
// Boot parameters

TEST_F(StartupTest, BootParamsAsDwordReadAsDecimalTextAndGoToTheBootstrap) {
  registry.PutDword(RegistryRoot::CurrentUser, kVano, "BootParams", 42);
  Form().Form_Load();
  EXPECT_EQ(State().BootParams, "42");
  EXPECT_EQ(Gets().front(), BootUrl(kBoot1, "42"));
}

TEST_F(StartupTest, BootParamsStringOf254CharactersReadsWhole) {
  const std::string text(254, 'b');
  registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", text);
  Form().Form_Load();
  EXPECT_EQ(State().BootParams, text);
}

TEST_F(StartupTest, BootParamsStringOf255Or256CharactersReadsEmpty) {
  for (const std::size_t length : {255u, 256u}) {
    FakeRegistry local;
    local.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", std::string(length, 'b'));
    EXPECT_EQ(ReadRegString(local, 0x80000001, kVano, "BootParams"), "") << length;
    EXPECT_EQ(local.OpenKeys(), Lines{});
  }
}

TEST_F(StartupTest, BootParamsAbsentReadsEmpty) {
  Form().Form_Load();
  EXPECT_EQ(State().BootParams, "");
  EXPECT_EQ(registry.calls, (Lines{
                                "OpenKey 0x80000001 [" + kRunKeyPath + "] access=0x20019 -> 2",
                                "OpenKey 0x80000001 [Software\\VANO\\VANO.exe] access=0x20019 -> 2",
                            }));
}

TEST(ReadRegStringTest, OtherRootsAreNotTouched) {
  FakeRegistry registry;
  registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", "x");
  EXPECT_EQ(ReadRegString(registry, 0x7FFFFFFF, kVano, "BootParams"), "");
  EXPECT_EQ(ReadRegString(registry, 0x80000007, kVano, "BootParams"), "");
  EXPECT_EQ(ReadRegString(registry, 0, kVano, "BootParams"), "");
  EXPECT_EQ(registry.calls, Lines{});
  EXPECT_EQ(ReadRegString(registry, 0x80000001, kVano, "BootParams"), "x");
}

TEST(ReadRegStringTest, KeyIsOpenedForReadingAndAlwaysClosed) {
  FakeRegistry registry;
  registry.CreatePath(RegistryRoot::CurrentUser, kVano);
  EXPECT_EQ(ReadRegString(registry, 0x80000001, kVano, "BootParams"), "");
  EXPECT_EQ(registry.calls, (Lines{
                                "OpenKey 0x80000001 [Software\\VANO\\VANO.exe] access=0x20019 -> 0",
                                "QueryValue [Software\\VANO\\VANO.exe] [BootParams] buffer=255 -> 2",
                                "CloseKey [Software\\VANO\\VANO.exe] -> 0",
                            }));
  EXPECT_EQ(registry.OpenKeys(), Lines{});
}

TEST(ReadRegStringTest, NegativeDwordIsSignedDecimal) {
  FakeRegistry registry;
  registry.PutDword(RegistryRoot::CurrentUser, kVano, "BootParams", -1);
  EXPECT_EQ(ReadRegString(registry, 0x80000001, kVano, "BootParams"), "-1");
}

TEST(ReadRegStringTest, TextWithoutTerminatingNulKeepsAllItsCharacters) {
  FakeRegistry registry;
  registry.PutValue(RegistryRoot::CurrentUser, kVano, "BootParams",
                    FakeRegistry::Value{1, std::vector<std::uint8_t>{'a', 'b', 'c'}});
  EXPECT_EQ(ReadRegString(registry, 0x80000001, kVano, "BootParams"), "abc");
  registry.PutValue(RegistryRoot::CurrentUser, kVano, "BootParams", FakeRegistry::Value{1, {}});
  EXPECT_EQ(ReadRegString(registry, 0x80000001, kVano, "BootParams"), "");
  registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", "");
  EXPECT_EQ(ReadRegString(registry, 0x80000001, kVano, "BootParams"), "");
}

TEST(ReadRegStringTest, UnopenableKeyReadsEmpty) {
  FakeRegistry registry;
  registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", "x");
  registry.openKeyFails = 5;
  EXPECT_EQ(ReadRegString(registry, 0x80000001, kVano, "BootParams"), "");
}

// ---------------------------------------------------------------------------
// Shut-down

TEST_F(StartupTest, UnloadRemovesTheTrayIconStoresBothSettingsAndEnds) {
  settings.Put("HTA_Launcher", "user", "user", "alice");
  ServeLogin(App("a.hta", "A", "", true), "alice");
  Form().Form_Load();
  view.lines.clear();

  Form().Form_Unload();

  EXPECT_EQ(view.lines, (Lines{"RemoveTrayIcon", "Close"}));
  EXPECT_EQ(settings.saves, (std::vector<FakeUserSettings::Saved>{
                                {"HTA_Launcher", "user", "user", "alice"},
                                {"HTA_Launcher", "settings", "showPopups", "True"},
                            }));
  EXPECT_TRUE(Form().Ended());
  // Nothing runs any more.
  Form().cmdLogin_Click();
  Form().smnuApp_Click(1);
  Form().Form_Unload();
  EXPECT_EQ(settings.saves.size(), 2u);
  EXPECT_EQ(shell.executed.size(), 1u);
}

TEST_F(StartupTest, ExitAfterAFailedLoginStoresThePreviousUserString) {
  settings.Put("HTA_Launcher", "user", "user", "alice");
  Serve(BootUrl(kBoot1), kServer);  // every login reply is empty
  Form().Form_Load();
  view.userText = "bob";
  Form().cmdLogin_Click();
  EXPECT_EQ(Gets().back(), LoginUrl("bob"));

  Form().cmdExit_Click();
  EXPECT_EQ(settings.Value("HTA_Launcher", "user", "user"), "alice");
}

TEST_F(StartupTest, UserStringOfALoginThatGotAReplyIsStored) {
  Serve(BootUrl(kBoot1), kServer);
  Serve(LoginUrl("bob"), App("a.hta", "A"));
  Form().Form_Load();  // empty user: no reply
  view.userText = "bob";
  Form().cmdLogin_Click();
  Form().cmdExit_Click();
  EXPECT_EQ(settings.Value("HTA_Launcher", "user", "user"), "bob");
}

TEST_F(StartupTest, UnloadBeforeTheSettingsWereReadStoresNothing) {
  Form().Form_Unload();
  EXPECT_EQ(settings.saves, std::vector<FakeUserSettings::Saved>{});
  EXPECT_TRUE(Form().Ended());
  EXPECT_EQ(view.lines, (Lines{"RemoveTrayIcon", "Close"}));
}

TEST_F(StartupTest, ClosingTheWindowDuringTheAutomaticLoginEndsItThere) {
  settings.Put("HTA_Launcher", "user", "user", "alice");
  ServeLogin(App("a.hta", "A", "", true) + Download("a.hta", "http://files.test/a.hta") + Message("hi"),
             "alice");
  Serve("http://files.test/a.hta", "new");
  // The user closes the window while the login request is under way.
  bool closed = false;
  pump.onEveryCall = [&](std::size_t) {
    if (!closed && !Gets().empty() && Gets().back() == LoginUrl("alice")) {
      closed = true;
      form->Form_Unload();
    }
  };

  Form().Form_Load();

  EXPECT_TRUE(Form().Ended());
  EXPECT_EQ(view.closes, 1u);
  EXPECT_EQ(settings.Value("HTA_Launcher", "user", "user"), "alice");
  // The reply that arrived after the close was not used.
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_EQ(Messages(), Lines{});
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta"));
  EXPECT_FALSE(Form().InTray());
  // (TearDown: no view call after Close.)
}

TEST_F(StartupTest, ClosingTheWindowWhileAMessageOfTheReplyIsUpShowsNoMore) {
  ServeLogin(Message("one") + Message("two") + App("a.hta", "A", "", true) + ActionUrl("http://a.test/"));
  dialogs.onShow = [&](const std::string& text) {
    if (text == "one") {
      form->Form_Unload();
    }
  };
  Form().Form_Load();
  EXPECT_EQ(Messages(), Lines{"one"});
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_EQ(State().ActionUrl, "");
}

}  // namespace
}  // namespace hta::testing
