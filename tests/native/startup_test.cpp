// Start-up and shut-down of the main window: Form_Load, InitLauncher,
// Form_Unload, and the readers they use. The end-to-end tests under Wine run
// the real program through a first run, a configured workstation, a second
// copy and the settings stored at its end; these pin what they cannot reach.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fetch_fixture.h"
#include "shell/frm_main.h"
#include "shell/https_policy.h"
#include "shell/registry_text.h"

namespace hta::testing {
namespace {

using fakes::FakeRegistry;

constexpr const char* kVano = "Software\\VANO\\VANO.exe";

class StartupTest : public LauncherTest {};

// The application folder

TEST_F(StartupTest, ApplicationFolderProblemsDoNotStopTheStartUp) {
  // No temporary folder leaves a relative application folder; it cannot be
  // created.
  env.tempFolder = "";
  files.folderCreationFails = true;
  ServeLogin(App("a.hta", "A"));
  Form().Form_Load();
  EXPECT_EQ(files.folderCreations, Lines{"hta\\"});
  EXPECT_EQ(view.entries[0].caption, "A");
}

TEST(FolderExistsTest, AddsTheTrailingBackslashAndAFileIsNoFolder) {
  fakes::FakeFileSystem files;
  files.AddFolder("C:\\Temp\\hta");
  files.Put("C:\\Temp\\file", "x");
  EXPECT_TRUE(FolderExists(files, "C:\\Temp\\hta"));
  EXPECT_TRUE(FolderExists(files, "C:\\Temp\\hta\\"));
  EXPECT_FALSE(FolderExists(files, "C:\\Temp\\file"));
  EXPECT_FALSE(FolderExists(files, ""));
}

// Remembered settings

TEST_F(StartupTest, StoredPopupPreferenceIsATruthValueAndAnythingElseMeansOn) {
  struct Case {
    const char* stored;
    std::optional<bool> value;
  };
  for (const Case& c : {Case{"  TRUE ", true}, Case{"False", false}, Case{"-0.0", false}, Case{"+0.5", true},
                        // Neither a truth value nor a number.
                        Case{"maybe", std::nullopt}, Case{"1.2.3", std::nullopt}, Case{"-", std::nullopt},
                        Case{"", std::nullopt}}) {
    EXPECT_EQ(ParseTruthValue(c.stored), c.value) << "stored [" << c.stored << "]";
  }
  settings.Put("HTA_Launcher", "settings", "showPopups", "maybe");
  view.showPopupsChecked = false;
  Form().InitLauncher();
  EXPECT_TRUE(view.showPopupsChecked);
}

// Stored at once, so a killed process loses nothing, and again at the end.
TEST_F(StartupTest, TheUserStringOfALoginThatGotAReplyIsStoredAtOnceAndAtExit) {
  settings.Put("HTA_Launcher", "user", "user", "alice");
  Serve(BootUrl(kBoot1), kServer);
  Serve(LoginUrl("carol"), App("a.hta", "A"));
  Form().Form_Load();  // no reply for alice, nor later for bob
  for (const char* user : {"carol", "bob"}) {
    view.userText = user;
    Form().cmdLogin_Click();
  }
  EXPECT_EQ(Gets().back(), LoginUrl("bob"));
  using Saved = fakes::FakeUserSettings::Saved;
  EXPECT_EQ(settings.saves, (std::vector<Saved>{{"HTA_Launcher", "user", "user", "carol"}}));
  // The popup switch is stored as soon as it is used.
  Form().smnuShowPopups_Click();
  EXPECT_EQ(settings.saves.back(), (Saved{"HTA_Launcher", "settings", "showPopups", "False"}));
  Form().cmdExit_Click();
  EXPECT_EQ(settings.saves.size(), 4u);
  EXPECT_EQ(settings.Value("HTA_Launcher", "user", "user"), "carol");
  EXPECT_EQ(settings.Value("HTA_Launcher", "settings", "showPopups"), "False");
}

// Reading the boot parameters

class ReadRegStringTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(registry.problems, Lines{});
    EXPECT_EQ(registry.OpenKeys(), 0u);
  }
  void Put(const std::string& text) {
    registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", text);
  }
  std::string Read(std::uint32_t root = 0x80000001) {
    return ReadRegString(registry, root, kVano, "BootParams");
  }

  FakeRegistry registry;
};

TEST_F(ReadRegStringTest, TextMustFitA255ByteBufferWithItsNulAndANumberIsSignedDecimal) {
  Put(std::string(254, 'b'));  // 255 bytes with its terminating NUL
  EXPECT_EQ(Read(), std::string(254, 'b'));
  Put(std::string(255, 'b'));
  EXPECT_EQ(Read(), "");
  // Text without terminating NUL keeps all its characters.
  registry.PutValue(RegistryRoot::CurrentUser, kVano, "BootParams", FakeRegistry::Value{1, {'a', 'b', 'c'}});
  EXPECT_EQ(Read(), "abc");
  registry.PutDword(RegistryRoot::CurrentUser, kVano, "BootParams", -1);
  EXPECT_EQ(Read(), "-1");
}

TEST_F(ReadRegStringTest, OnlyPredefinedRootsAreAskedAndAKeyThatCannotBeOpenedReadsEmpty) {
  Put("x");
  EXPECT_EQ(Read(0x7FFFFFFFu), "");
  EXPECT_EQ(Read(0x80000007u), "");
  EXPECT_EQ(registry.openCalls, 0u);
  registry.openKeyFails = 5;
  EXPECT_EQ(Read(), "");
}

// The HTTPS policy: the machine's value decides when it is there, else the
// user's; whatever is there but not a readable DWORD turns it on.
class RequireHttpsPolicyTest : public ReadRegStringTest {};

TEST_F(RequireHttpsPolicyTest, ADwordPerValueMachineFirstAndAnythingUnreadableMeansOn) {
  using Value = std::optional<FakeRegistry::Value>;
  const Value one = FakeRegistry::Value{4, {1, 0, 0, 0}};
  const Value zero = FakeRegistry::Value{4, {0, 0, 0, 0}};
  struct Case {
    const char* what;
    Value machine;
    Value user;
    bool required;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, {}, false},
      {"user 1", {}, one, true},
      {"user 0", {}, zero, false},
      {"machine 0 over user 1", zero, one, false},
      {"machine 1 over user 0", one, zero, true},
      {"user text \"0\"", {}, FakeRegistry::Value{1, {'0', 0}}, true},
      {"user number of 8 bytes", {}, FakeRegistry::Value{4, {0, 0, 0, 0, 0, 0, 0, 0}}, true},
      {"user number of 2 bytes", {}, FakeRegistry::Value{4, {0, 0}}, true},
  };
  const std::string key = "Software\\Policies\\HTA_Launcher";
  for (const Case& c : cases) {
    registry = FakeRegistry();
    // The machine's key is there in every case, with or without the value.
    registry.CreatePath(RegistryRoot::LocalMachine, key);
    for (const auto& [root, value] :
         {std::pair{RegistryRoot::LocalMachine, c.machine}, {RegistryRoot::CurrentUser, c.user}}) {
      if (value) {
        registry.PutValue(root, key, "RequireHttps", *value);
      }
    }
    EXPECT_EQ(ReadRequireHttpsPolicy(registry), c.required) << c.what;
    EXPECT_EQ(registry.OpenKeys(), 0u) << c.what;
  }
  registry.openKeyFails = 5;  // there, but not to be read
  EXPECT_TRUE(ReadRequireHttpsPolicy(registry));
}

// Shut-down

TEST_F(StartupTest, UnloadRemovesTheTrayIconBeforeClosingAndNothingRunsAfterIt) {
  ServeLogin(App("a.hta", "A", "", true));
  Form().Form_Load();
  // The one-minute timer is armed before anything else.
  EXPECT_EQ(view.lines.front(), "ArmTimer 60000");
  view.lines.clear();

  const std::size_t saves = settings.saves.size();
  Form().Form_Unload();

  EXPECT_EQ(view.lines, (Lines{"RemoveTrayIcon", "Close"}));
  EXPECT_EQ(settings.saves.size(), saves + 2);
  EXPECT_EQ(instance.releases, 1u) << "a new start is not refused while this one unwinds";
  Form().cmdLogin_Click();
  Form().smnuApp_Click(1);
  view.runChecked = true;
  Form().chkRun_Click();
  Form().SystemResumed();
  Form().Form_Unload();
  EXPECT_EQ(settings.saves.size(), saves + 2);
  EXPECT_EQ(shell.executed.size(), 1u);
  EXPECT_EQ(registry.writeCalls, 0u);
  // (TearDown: no view call after Close.)
}

TEST_F(StartupTest, ClosingTheWindowDuringTheAutomaticLoginEndsItThere) {
  Serve(BootUrl(kBoot1), kServer);
  fakes::FakeHttp::GetReply slow;
  slow.body = App("a.hta", "A", "", true) + Download("a.hta", "http://files.test/a.hta") + Message("hi") +
              std::string(5000, ' ');
  slow.contentLength = static_cast<std::uint32_t>(slow.body.size());
  slow.largestRead = 100;
  http.SetGet(LoginUrl(""), slow);
  Serve("http://files.test/a.hta", "new");
  // The user closes the window while the login reply is arriving.
  std::size_t readsBefore = 0;
  pump.onEveryCall = [&](std::size_t) {
    if (readsBefore == 0 && !Gets().empty() && Gets().back() == LoginUrl("") && http.reads > 0) {
      readsBefore = http.reads;
      form->Form_Unload();
    }
  };

  Form().Form_Load();
  EXPECT_EQ(http.reads, readsBefore) << "no read after the close";

  EXPECT_EQ(view.closes, 1u);
  // The reply that arrived after the close was not used.
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_EQ(Messages(), Lines{});
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta"));
  EXPECT_FALSE(Form().InTray());
  // (TearDown: no view call after Close.)
}

// Exit while a list's launch is downloading: the download stops after the
// read in progress, its partial file goes, the old target stays, and the
// rest of the list (a local sound, a popup) does nothing.
TEST_F(FetchTest, ExitDuringAListsDownloadStopsItThereAndRunsNothingMore) {
  State().ActionUrl = kActions;
  files.Put(kHtaFolder + "bell.wav", "RIFF");
  files.Put(kHtaFolder + "app.hta", "OLD");
  Serve(PollUrl(), Action("launch", "http://files.test/app.hta", "app") + Action("sound", "", "bell.wav") +
                       Action("popup", "", "", "late"));
  fakes::FakeHttp::GetReply slow;
  slow.body = std::string(10000, 'x');
  slow.contentLength = 10000;
  slow.largestRead = 100;
  http.SetGet("http://files.test/app.hta", slow);
  std::size_t readsBefore = 0;
  pump.onEveryCall = [&](std::size_t) {
    if (readsBefore == 0 && files.Exists(kHtaFolder + "app.hta.temp")) {
      readsBefore = http.reads;
      Form().cmdExit_Click();
    }
  };
  Form().Timer1_Timer();
  EXPECT_LE(http.reads, readsBefore + 1);
  EXPECT_EQ(files.Contents(kHtaFolder + "app.hta"), "OLD");
  EXPECT_FALSE(files.Exists(kHtaFolder + "app.hta.temp"));
  EXPECT_EQ(Gets(), (Lines{PollUrl(), "http://files.test/app.hta"}));
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_EQ(sound.played, Lines{});
  EXPECT_EQ(popups.records.size(), 0u);
  EXPECT_FALSE(State().FetchBusy);
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
