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

// The four bytes of `value`, least significant first, as a wave file holds
// its lengths.
inline std::string Little32(std::size_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) {
    bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  return bytes;
}

// A whole wave file whose samples are `samples`.
inline std::string Wave(const std::string& samples) {
  // PCM, one channel, 8000 samples a second of 8 bits.
  const std::string format("\x01\x00\x01\x00\x40\x1F\x00\x00\x40\x1F\x00\x00\x01\x00\x08\x00", 16);
  const std::string chunks = "fmt " + Little32(format.size()) + format + "data" + Little32(samples.size()) +
                             samples + (samples.size() % 2 == 1 ? std::string(1, '\0') : "");
  return "RIFF" + Little32(4 + chunks.size()) + "WAVE" + chunks;
}

// Launcher with its application folder set (InitLauncher), for the fetch,
// the action poll and the tray. Events scripted into the message loop run
// inside the transfers, as the platform's would.
class FetchTest : public LauncherTest {
 protected:
  void SetUp() override { Program().InitLauncher(); }

  // Runs `during` once, inside the first DoEvents of a running fetch's
  // transfer once its body is being written (FetchBusy true, the control's
  // LocalFile there).
  void DuringFetch(std::function<void()> during) {
    pump.onEveryCall = [this, during = std::move(during), done = false](std::size_t) mutable {
      if (!done && Program().Fetch().FetchBusy() && files.Exists(Program().Transfer().LocalFile())) {
        done = true;
        during();
      }
    };
  }

  // The address a poll at the fake clock's time asks for.
  std::string PollUrl(const std::string& param = "") const {
    return kActions + "?VANO_BACKOFFICE=" + param + "&ts=" + kStamp;
  }

  // The wave of `samples` as the sound call records it: played in the
  // background, without the default sound (flags 3).
  static std::string Played(const std::string& samples) { return Wave(samples) + " 3"; }
};

}  // namespace hta::testing
