#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_environment.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_http.h"
#include "fakes/fake_main_window.h"
#include "fakes/fake_message_pump.h"
#include "fakes/fake_popup_window.h"
#include "fakes/fake_profile.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_shell_open.h"
#include "fakes/fake_single_instance.h"
#include "fakes/fake_sound.h"
#include "fakes/fake_user_settings.h"
#include "shell/launcher.h"

namespace hta::testing {

using Lines = std::vector<std::string>;

// Endpoints of the tests' own back office, in the order they are tried.
inline const std::string kBoot1 = "http://boot1.test/exebootstrap.php";
inline const std::string kBoot2 = "http://boot2.test/exebootstrap.php";
inline const std::string kBoot3 = "http://boot3.test/index.php";
inline const std::string kServer = "http://server.test/login.php";
// What the fake clock shows, as a request carries it.
inline const std::string kStamp = "14:05:09";
inline const std::string kTemp = "C:\\Users\\user\\AppData\\Local\\Temp\\";
inline const std::string kHtaFolder = kTemp + "hta\\";
// The INI file beside the fake environment's program.
inline const std::string kIniFile = "C:\\Program Files\\HTA Launcher\\Launcher.ini";
inline const std::string kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Launcher over fresh fakes: an empty registry, no stored settings, no INI
// file, nothing served. At the end the launcher is destroyed, and the fakes must
// have seen no misuse: no WinINet handle or registry key left open or
// misused, and nothing done to the window after it was closed.
class LauncherTest : public ::testing::Test {
 protected:
  void TearDown() override {
    launcher.reset();
    EXPECT_EQ(http.problems, Lines{});
    EXPECT_EQ(http.LiveExchanges(), 0u);
    EXPECT_EQ(registry.problems, Lines{});
    EXPECT_EQ(registry.OpenKeys(), 0u);
    EXPECT_EQ(view.problems, Lines{});
  }

  Launcher& Program() {
    if (!launcher) {
      launcher.emplace(LauncherPorts{view, dialogs, pump, clock, env, registry, settings, shellOpen, files,
                                     profile, http, instance, popups, sound},
                       endpoints);
    }
    return *launcher;
  }

  SessionState& State() { return Program().State(); }

  // A 200 reply with `body` and its Content-Length.
  void Serve(const std::string& url, const std::string& body) {
    http.SetGet(url, {.body = body, .contentLength = static_cast<std::uint32_t>(body.size())});
  }

  static std::string BootUrl(const std::string& endpoint, const std::string& bootParams = "") {
    return endpoint + "?bootparams=" + bootParams + "&ts=" + kStamp;
  }
  static std::string LoginUrl(const std::string& user, const std::string& server = kServer) {
    return server + "?user=" + user + "&ts=" + kStamp;
  }

  // The first endpoint names kServer, which answers a login of `user` (as
  // sent) with `reply`.
  void ServeLogin(const std::string& reply, const std::string& user = "") {
    Serve(BootUrl(kBoot1), kServer);
    Serve(LoginUrl(user), reply);
  }

  // The texts of the message boxes shown, in order.
  Lines Messages() const {
    Lines texts;
    for (const auto& shown : dialogs.shown) {
      texts.push_back(shown.text);
    }
    return texts;
  }

  // The shell launches, as "path|parameters".
  Lines Launches() const {
    Lines launched;
    for (const auto& executed : shellOpen.executed) {
      launched.push_back(executed.file + "|" + executed.parameters);
    }
    return launched;
  }

  fakes::FakeMainWindow view;
  fakes::FakeDialogs dialogs;
  fakes::FakeMessagePump pump;
  fakes::FakeClock clock;
  fakes::FakeEnvironment env;
  fakes::FakeRegistry registry;
  fakes::FakeUserSettings settings;
  fakes::FakeShellOpen shellOpen;
  fakes::FakeFileSystem files;
  fakes::FakeProfile profile{files};
  fakes::FakeHttp http{pump};
  fakes::FakeSingleInstance instance;
  fakes::FakePopupFactory popups;
  fakes::FakeSound sound;
  std::vector<std::string> endpoints{kBoot1, kBoot2, kBoot3};
  std::optional<Launcher> launcher;
};

// Markup of the back office's replies.
inline std::string App(const std::string& fileName, const std::string& caption, const std::string& param = "",
                       bool main = false) {
  return "<application filename=\"" + fileName + "\" param=\"" + param + "\" main=\"" +
         (main ? "yes" : "no") + "\">" + caption + "</application>\r\n";
}
inline std::string Download(const std::string& fileName, const std::string& href) {
  return "<download filename=\"" + fileName + "\" href=\"" + href + "\"/>\r\n";
}
inline std::string Message(const std::string& text) {
  return "<message>" + text + "</message>\r\n";
}
inline std::string ActionUrl(const std::string& address) {
  return "<actionurl>" + address + "</actionurl>\r\n";
}

}  // namespace hta::testing
