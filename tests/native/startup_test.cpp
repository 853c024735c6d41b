// Start-up and shut-down of the main window: Form_Load, InitLauncher,
// Form_Unload, and the readers they use.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "launcher_fixture.h"
#include "shell/frm_main.h"
#include "shell/registry_text.h"

namespace hta::testing {
namespace {

using fakes::FakeRegistry;
using fakes::FakeUserSettings;
using Saves = std::vector<FakeUserSettings::Saved>;

constexpr const char* kVano = "Software\\VANO\\VANO.exe";

class StartupTest : public LauncherTest {};

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
  EXPECT_EQ(Messages(), Lines{});
  // Start-up reads; only Form_Unload writes.
  EXPECT_EQ(settings.saves, Saves{});
  EXPECT_EQ(registry.writeCalls, 0u);
}

TEST_F(StartupTest, WholeRoadFromLoadToTray) {
  // What a configured workstation has: a remembered user, popups off, boot
  // parameters (a number), a proxy, the application folder.
  settings.Put("HTA_Launcher", "user", "user", "Jo Smith");
  settings.Put("HTA_Launcher", "settings", "showPopups", "False");
  registry.PutDword(RegistryRoot::CurrentUser, kVano, "BootParams", 42);
  registry.PutString(RegistryRoot::CurrentUser, kRunKeyPath, "Launcher", "\"C:\\x\\Launcher.exe\"");
  files.Put(kIniPath, "[proxy]\r\nProxyServer=proxy.corp\r\nProxyPort=8080\r\n");
  files.AddFolder(kHtaFolder);
  files.Put(kHtaFolder + "crm.hta", "old crm");
  // The back office: endpoint 1 is down, endpoint 2 names the server.
  Serve(BootUrl(kBoot2, "42"), kServer + "\r\n");
  Serve(LoginUrl("Jo%20Smith"), App("crm.hta", "CRM", "u=jo") + App("mail.hta", "Mail", "u=jo&m=1", true) +
                                    Download("crm.hta", "http://files.test/crm.hta") +
                                    Message("Welcome, Jo") + ActionUrl("http://server.test/actions.php"));
  Serve("http://files.test/crm.hta", "new crm");

  Form().Form_Load();

  EXPECT_EQ(Gets(), (Lines{BootUrl(kBoot1, "42"), BootUrl(kBoot2, "42"), LoginUrl("Jo%20Smith"),
                           "http://files.test/crm.hta"}));
  EXPECT_NE(http.calls.front().find("access=3 proxy=[proxy.corp:8080]"), std::string::npos);
  EXPECT_TRUE(view.runChecked);
  EXPECT_FALSE(view.showPopupsChecked);
  EXPECT_EQ(view.userText, "Jo Smith");
  // The existing application folder is reused.
  EXPECT_EQ(files.folderCreations, Lines{});
  EXPECT_EQ(files.Contents(kHtaFolder + "crm.hta"), "new crm\r\n");
  EXPECT_EQ(Messages(), Lines{"Welcome, Jo"});
  EXPECT_EQ(Launches(), Lines{kHtaFolder + "mail.hta|u=jo&m=1"});
  EXPECT_EQ(State().ActionUrl, "http://server.test/actions.php");
  EXPECT_TRUE(Form().InTray());
  EXPECT_EQ(settings.saves.size(), 0u);
  EXPECT_EQ(registry.writeCalls, 0u);

  Form().smnuExit_Click();
  EXPECT_EQ(settings.saves, (Saves{{"HTA_Launcher", "user", "user", "Jo Smith"},
                                   {"HTA_Launcher", "settings", "showPopups", "False"}}));
  EXPECT_TRUE(Form().Ended());
}

TEST_F(StartupTest, SecondCopyBringsTheFirstForwardAndEndsWithoutSideEffects) {
  instance.anotherCopy = true;
  settings.Put("HTA_Launcher", "user", "user", "alice");
  registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", "x");
  ServeLogin(App("a.hta", "A", "", true), "alice");

  Form().Form_Load();

  EXPECT_EQ(instance.activations, 1u);
  EXPECT_TRUE(Form().Ended());
  // The timer is armed before anything else.
  EXPECT_EQ(view.lines, (Lines{"ArmTimer 60000", "Close"}));
  EXPECT_EQ(http.calls, Lines{});
  EXPECT_EQ(registry.calls, Lines{});
  EXPECT_EQ(files.folderCreations, Lines{});
  EXPECT_EQ(profile.calls.size(), 0u);

  // The window's close that follows runs Form_Unload: it must store nothing.
  Form().Form_Unload();
  EXPECT_EQ(settings.saves, Saves{});
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

// The application folder

TEST_F(StartupTest, ApplicationFolderProblemsDoNotStopTheStartUp) {
  // No temporary folder leaves a relative application folder; it cannot be
  // created.
  env.tempFolder = "";
  files.folderCreationFails = true;
  ServeLogin(App("a.hta", "A"));
  Form().Form_Load();
  EXPECT_EQ(State().HtaFolder, "hta\\");
  EXPECT_EQ(files.folderCreations, Lines{"hta\\"});
  EXPECT_EQ(view.entries[0].caption, "A");
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

// Remembered settings

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
    std::optional<bool> value;
  };
  for (const Case& c :
       {Case{"True", true}, Case{"False", false}, Case{"true", true}, Case{"FALSE", false},
        Case{"  TRUE ", true}, Case{"0", false}, Case{"1", true}, Case{"-1", true}, Case{"-0", false},
        Case{"0.0", false}, Case{"+0.5", true}, Case{" 2 ", true}, Case{"42", true},
        // Neither a truth value nor a number: as if absent.
        Case{"maybe", std::nullopt}, Case{"yes", std::nullopt}, Case{"1.2.3", std::nullopt},
        Case{"-", std::nullopt}, Case{"", std::nullopt}}) {
    EXPECT_EQ(ParseTruthValue(c.stored), c.value) << "stored [" << c.stored << "]";
    FakeUserSettings stored;
    stored.Put("HTA_Launcher", "settings", "showPopups", c.stored);
    fakes::FakeMainWindow window;
    LauncherPorts ports{window, dialogs, pump,    clock, env,      registry, stored,
                        shell,  files,   profile, http,  instance, popups,   sound};
    frmMain local(ports, {});
    local.InitLauncher();
    EXPECT_EQ(window.showPopupsChecked, c.value.value_or(true)) << "stored [" << c.stored << "]";
  }
}

// Reading the boot parameters

class ReadRegStringTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(registry.problems, Lines{});
    EXPECT_EQ(registry.OpenKeys(), Lines{});
  }
  void Put(const std::string& text) {
    registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", text);
  }
  std::string Read(std::uint32_t root = 0x80000001) {
    return ReadRegString(registry, root, kVano, "BootParams");
  }

  FakeRegistry registry;
};

TEST_F(ReadRegStringTest, ValueTextFitsTheBufferOf255BytesOrReadsEmpty) {
  Put(std::string(254, 'b'));  // 255 bytes with its terminating NUL
  EXPECT_EQ(Read(), std::string(254, 'b'));
  Put(std::string(255, 'b'));
  EXPECT_EQ(Read(), "");
  Put(std::string(256, 'b'));
  EXPECT_EQ(Read(), "");
  Put("");
  EXPECT_EQ(Read(), "");
  // Text without terminating NUL keeps all its characters.
  registry.PutValue(RegistryRoot::CurrentUser, kVano, "BootParams", FakeRegistry::Value{1, {'a', 'b', 'c'}});
  EXPECT_EQ(Read(), "abc");
  registry.PutValue(RegistryRoot::CurrentUser, kVano, "BootParams", FakeRegistry::Value{1, {}});
  EXPECT_EQ(Read(), "");
  // A negative DWORD is signed decimal.
  registry.PutDword(RegistryRoot::CurrentUser, kVano, "BootParams", -1);
  EXPECT_EQ(Read(), "-1");
}

TEST_F(ReadRegStringTest, KeyIsOpenedForReadingAndAlwaysClosedAndOtherRootsAreNotTouched) {
  registry.CreatePath(RegistryRoot::CurrentUser, kVano);
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(registry.calls, (Lines{
                                "OpenKey 0x80000001 [Software\\VANO\\VANO.exe] access=0x20019 -> 0",
                                "QueryValue [Software\\VANO\\VANO.exe] [BootParams] buffer=255 -> 2",
                                "CloseKey [Software\\VANO\\VANO.exe] -> 0",
                            }));
  Put("x");
  registry.calls.clear();
  for (const std::uint32_t root : {0x7FFFFFFFu, 0x80000007u, 0u}) {
    EXPECT_EQ(Read(root), "") << root;
  }
  EXPECT_EQ(registry.calls, Lines{});
  // A key that cannot be opened reads empty.
  registry.openKeyFails = 5;
  EXPECT_EQ(Read(), "");
}

// Shut-down

TEST_F(StartupTest, UnloadRemovesTheTrayIconStoresBothSettingsAndEnds) {
  settings.Put("HTA_Launcher", "user", "user", "alice");
  ServeLogin(App("a.hta", "A", "", true), "alice");
  Form().Form_Load();
  view.lines.clear();

  Form().Form_Unload();

  EXPECT_EQ(view.lines, (Lines{"RemoveTrayIcon", "Close"}));
  EXPECT_EQ(settings.saves, (Saves{{"HTA_Launcher", "user", "user", "alice"},
                                   {"HTA_Launcher", "settings", "showPopups", "True"}}));
  EXPECT_TRUE(Form().Ended());
  // Nothing runs any more.
  Form().cmdLogin_Click();
  Form().smnuApp_Click(1);
  Form().Form_Unload();
  EXPECT_EQ(settings.saves.size(), 2u);
  EXPECT_EQ(shell.executed.size(), 1u);
}

TEST_F(StartupTest, ExitStoresTheUserStringOfTheLastLoginThatGotAReply) {
  settings.Put("HTA_Launcher", "user", "user", "alice");
  Serve(BootUrl(kBoot1), kServer);
  Serve(LoginUrl("carol"), App("a.hta", "A"));
  Form().Form_Load();  // no reply for alice
  // bob gets no reply either: a failed login keeps the user string there was.
  for (const auto& [user, kept] :
       {std::pair{"bob", "alice"}, std::pair{"carol", "carol"}, std::pair{"bob", "carol"}}) {
    view.userText = user;
    Form().cmdLogin_Click();
    EXPECT_EQ(Gets().back(), LoginUrl(user));
    EXPECT_EQ(State().UserString, kept) << user;
  }
  Form().cmdExit_Click();
  EXPECT_EQ(settings.Value("HTA_Launcher", "user", "user"), "carol");
}

TEST_F(StartupTest, UnloadBeforeTheSettingsWereReadStoresNothing) {
  Form().Form_Unload();
  EXPECT_EQ(settings.saves, Saves{});
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
