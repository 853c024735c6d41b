#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

#include "launcher_fixture.h"

namespace hta::testing {

inline const std::string kActionList = kHtaFolder + "actions.xml";
inline const std::string kActions = "http://server.test/actions.php";

inline std::string Action(const std::string& type, const std::string& url, const std::string& fileName,
                          const std::string& text = "") {
  return "<action type=\"" + type + "\" url=\"" + url + "\" filename=\"" + fileName + "\">" + text +
         "</action>\r\n";
}

// frmMain with its application folder set (InitLauncher), for the fetch,
// the action poll and the tray. Events scripted into the message loop run
// inside the transfers, as the platform's would.
class FetchTest : public LauncherTest {
 protected:
  void SetUp() override { Form().InitLauncher(); }

  // Runs `during` once, inside the first DoEvents of a running fetch's
  // transfer once its body is being written (FetchBusy true, the control's
  // LocalFile there).
  void DuringFetch(std::function<void()> during) {
    pump.onEveryCall = [this, during = std::move(during), done = false](std::size_t) mutable {
      if (!done && Form().Fetch().FetchBusy() && files.Exists(Form().InternetFile1().LocalFile())) {
        done = true;
        during();
      }
    };
  }

  // The address a poll at the fake clock's time asks for.
  std::string PollUrl(const std::string& param = "") const {
    return kActions + "?VANO_BACKOFFICE=" + param + "&ts=" + kStamp;
  }

  // A wave file as the sound call records it: played in the background,
  // without the default sound (flags 3).
  std::string Wav(const std::string& path) const { return path + " 3"; }
};

}  // namespace hta::testing
