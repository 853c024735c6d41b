// Start-up and shut-down of the main window: Start, InitLauncher,
// Shutdown, and the readers they use. The end-to-end tests under Wine run
// the real program through a first run, a configured workstation, a second
// copy and the settings stored at its end; these pin what they cannot reach.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "crypto/cipher.h"
#include "fakes/fake_log.h"
#include "fetch_fixture.h"
#include "shell/command_line.h"
#include "shell/https_policy.h"
#include "shell/policies.h"
#include "shell/proxy_settings.h"
#include "shell/registry_text.h"

namespace hta::testing {
namespace {

using fakes::FakeRegistry;

constexpr const char* kVano = "Software\\VANO\\VANO.exe";

class StartupTest : public LauncherTest {};

// Remembered settings

TEST_F(StartupTest, AStoredPopupChoiceIsOnUnlessItReadsAsFalse) {
  const std::vector<std::pair<const char*, std::optional<bool>>> cases = {
      {"  TRUE ", true},
      {"False", false},
      {"-0.0", false},
      {"+0.5", true},
      // Neither a truth value nor a number.
      {"maybe", std::nullopt},
      {"1.2.3", std::nullopt},
      {"-", std::nullopt},
      {"", std::nullopt}};
  for (const auto& [stored, value] : cases) {
    EXPECT_EQ(ParseTruthValue(stored), value) << "stored [" << stored << "]";
  }
  settings.Put("HTA_Launcher", "settings", "showPopups", "maybe");
  view.showPopupsChecked = false;
  Program().InitLauncher();
  EXPECT_TRUE(view.showPopupsChecked);
}

// Reading the boot parameters

class ReadRegStringTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(registry.problems, Lines{});
    EXPECT_EQ(registry.OpenKeys(), 0u);
  }
  std::string Read(std::uint32_t root = 0x80000001) {
    return ReadRegString(registry, root, kVano, "BootParams");
  }

  FakeRegistry registry;
};

TEST_F(ReadRegStringTest, ReadsWhatTheProgramsBufferCanHold) {
  registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", std::string(254, 'b'));  // 255 with NUL
  EXPECT_EQ(Read(), std::string(254, 'b'));
  registry.PutString(RegistryRoot::CurrentUser, kVano, "BootParams", std::string(255, 'b'));
  EXPECT_EQ(Read(), "");
  // Text without terminating NUL keeps all its characters.
  registry.PutValue(RegistryRoot::CurrentUser, kVano, "BootParams", FakeRegistry::Value{1, {'a', 'b', 'c'}});
  EXPECT_EQ(Read(), "abc");
  registry.PutValue(RegistryRoot::CurrentUser, kVano, "BootParams",
                    FakeRegistry::Value{4, {0xFF, 0xFF, 0xFF, 0xFF}});
  EXPECT_EQ(Read(), "-1");
  // Only predefined roots are asked; a key that cannot be opened reads empty.
  const std::size_t opens = registry.openCalls;
  EXPECT_EQ(Read(0x7FFFFFFFu), "");
  EXPECT_EQ(Read(0x80000007u), "");
  EXPECT_EQ(registry.openCalls, opens);
  registry.openKeyFails = 5;
  EXPECT_EQ(Read(), "");
}

// The HTTPS policy: the machine's value decides when it is there, else the
// user's; whatever is there but not a readable DWORD turns it on.
class RequireHttpsPolicyTest : public ReadRegStringTest {};

TEST_F(RequireHttpsPolicyTest, AnythingButAReadableZeroDwordMeansOn) {
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

// Endpoints: the policy's over "--bootstrap" over the built-in ones; each
// value the machine's when there; a value of the wrong type is logged and
// left out; "--log-level" only raises the policy's level.
TEST_F(RequireHttpsPolicyTest, EndpointsComeFromThePolicyFirst) {
  fakes::FakeLog log;
  const std::string key = "Software\\Policies\\HTA_Launcher";
  const Lines arguments = {"--bootstrap", "https://staging.test/b.php", "--log-level", "debug"};
  const EndpointChoice builtIn = ChooseEndpoints(ReadPolicies(registry), {});
  EXPECT_EQ(builtIn.endpoints, DefaultBootstrapEndpoints());
  EXPECT_EQ(builtIn.source, "built-in");
  EXPECT_EQ(ChooseEndpoints(ReadPolicies(registry), arguments).source, "command line");
  const std::string list("https://a.test/x\0https://b.test/y\0", 34);
  registry.PutValue(RegistryRoot::CurrentUser, key, "BootstrapEndpoints",
                    FakeRegistry::Value{7, {list.begin(), list.end()}});
  registry.PutString(RegistryRoot::LocalMachine, key, "LogLevel", "Error");
  const Policies policies = ReadPolicies(registry);
  const EndpointChoice chosen = ChooseEndpoints(policies, arguments);
  EXPECT_EQ(chosen.endpoints, (Lines{"https://a.test/x", "https://b.test/y"}));
  EXPECT_EQ(chosen.source, "policy");
  EXPECT_EQ(ChooseLogLevel(policies, arguments), LogLevel::Debug);
  EXPECT_EQ(ChooseLogLevel(policies, {"--log-level", "info"}), LogLevel::Info);
  EXPECT_EQ(ChooseLogLevel(Policies{}, {"--log-level", "error"}), LogLevel::Info);
  registry.PutString(RegistryRoot::LocalMachine, key, "BootstrapEndpoints", "https://c.test/");
  EXPECT_EQ(ReadPolicies(registry).bootstrapEndpoints, Lines{});
  EXPECT_EQ(log.lines, Lines{"ERROR Policy BootstrapEndpoints ignored: not a REG_MULTI_SZ value"});
}

// What support staff read: where things came from and how they went, never
// the user string, a query, an application parameter or a password.
TEST_F(StartupTest, TheLogTellsEachStepWithoutSecrets) {
  fakes::FakeLog log;
  files.Put(kIniFile, "[proxy]\r\nProxyServer=proxy.corp\r\nProxyPort=8080\r\nProxyUser=alice\r\nProxyPass=" +
                          Encrypt("secret-pw", ProxyPasswordKey("alice")) + "\r\n");
  settings.Put("HTA_Launcher", "user", "user", "secret-user");
  Serve(BootUrl(kBoot2), kServer);
  Serve(LoginUrl("secret-user"), App("a.hta", "A", "secret-param", true) +
                                     Download("../b.hta", "http://dl.test/b?secret-query") + Message("m"));
  Program().Start();
  Program().ExitClicked();
  for (const std::string& line : log.lines) {
    for (const char* secret : {"secret", "?", "bootparams", "user="}) {
      EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
  }
  EXPECT_EQ(
      log.lines,
      (Lines{
          "INFO Start: " + VersionText() +
              ", C:\\Program Files\\HTA Launcher\\Launcher.exe, endpoints from built-in",
          "INFO Proxy: proxy.corp:8080, user alice, from INI",
          "INFO Transfer failed: http://boot1.test/exebootstrap.php: no response",
          "INFO Bootstrap http://boot1.test/exebootstrap.php: no reply",
          "INFO Bootstrap http://boot2.test/exebootstrap.php: 28 bytes, server http://server.test/login.php",
          "INFO Download refused: ../b.hta: not a plain file name", "INFO Message shown",
          "INFO Login http://server.test/login.php: 171 bytes, main application opened", "INFO Launch: a.hta",
          "INFO End: closed"}));
}

// Shut-down

// Problems with the application folder do not stop the start-up: no
// temporary folder leaves a relative one, which cannot be created.
TEST_F(StartupTest, UnloadRemovesTheTrayIconBeforeClosing) {
  env.tempFolder = "";
  files.folderCreationFails = true;
  ServeLogin(App("a.hta", "A", "", true));
  Program().Start();
  EXPECT_EQ(files.folderCreations, Lines{"hta\\"});
  EXPECT_EQ(Launches(), Lines{"hta\\a.hta|"});
  // The one-minute timer is armed before anything else.
  EXPECT_EQ(view.lines.front(), "ArmTimer 60000");
  view.lines.clear();

  const std::size_t saves = settings.saves;
  Program().Shutdown();

  EXPECT_EQ(view.lines, (Lines{"RemoveTrayIcon", "Close"}));
  EXPECT_EQ(settings.saves, saves + 2);
  EXPECT_EQ(instance.releases, 1u) << "a new start is not refused while this one unwinds";
  // Nothing runs after the end, whatever the window and the tray still send.
  State().actionUrl = kActions;
  State().mainAppIndex = 1;
  const std::size_t gets = http.gets.size();
  Program().ReconnectClicked();
  Program().MenuEntryChosen(1);
  view.runChecked = true;
  Program().RunAtStartupClicked();
  Program().SystemResumed();
  Program().TrayNotification(514);
  Program().TrayNotification(517);
  Program().ShowPopupsChosen();
  Program().PollTimerTick();
  Program().Shutdown();
  EXPECT_EQ(settings.saves, saves + 2);
  EXPECT_EQ(shellOpen.executed.size(), 1u);
  EXPECT_EQ(registry.writeCalls, 0u);
  EXPECT_EQ(http.gets.size(), gets);
  // (TearDown: no view call after Close.)
}

TEST_F(StartupTest, ClosingTheWindowDuringTheAutomaticLoginEndsItThere) {
  Serve(BootUrl(kBoot1), kServer);
  const std::string body = App("a.hta", "A", "", true) + Download("a.hta", "http://files.test/a.hta") +
                           Message("hi") + std::string(5000, ' ');
  http.SetGet(LoginUrl(""), {.body = body, .contentLength = std::uint32_t(body.size()), .largestRead = 100});
  Serve("http://files.test/a.hta", "new");
  // The user closes the window while the login reply is arriving.
  std::size_t readsBefore = 0;
  pump.onEveryCall = [&](std::size_t) {
    if (readsBefore == 0 && !http.gets.empty() && http.gets.back() == LoginUrl("") && http.bodyEvents > 0) {
      readsBefore = http.bodyEvents;
      launcher->Shutdown();
    }
  };

  Program().Start();
  EXPECT_EQ(http.bodyEvents, readsBefore) << "no read after the close";

  EXPECT_EQ(view.closes, 1u);
  // The reply that arrived after the close was not used.
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_EQ(Messages(), Lines{});
  EXPECT_FALSE(files.Exists(kHtaFolder + "a.hta"));
  EXPECT_FALSE(Program().InTray());
  // (TearDown: no view call after Close.)
}

TEST_F(StartupTest, ClosingTheWindowWhileAMessageOfTheReplyIsUpShowsNoMore) {
  ServeLogin(Message("one") + Message("two") + App("a.hta", "A", "", true) + ActionUrl("http://a.test/"));
  dialogs.onShow = [&](const std::string& text) {
    if (text == "one") {
      launcher->Shutdown();
    }
  };
  Program().Start();
  EXPECT_EQ(Messages(), Lines{"one"});
  EXPECT_EQ(Launches(), Lines{});
  EXPECT_EQ(State().actionUrl, "");
}

}  // namespace
}  // namespace hta::testing
