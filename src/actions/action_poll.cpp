#include "actions/action_poll.h"

#include <optional>

#include "client/file_names.h"
#include "client/request_encoding.h"
#include "common/ascii.h"
#include "markup/markup.h"

namespace hta {

ActionDispatcher::ActionDispatcher(ActionPorts ports, LauncherState& state, FileFetch& fetch, Popups& popups,
                                   const bool& ended)
    : ports_(ports), state_(state), fetch_(fetch), popups_(popups), ended_(ended) {}

void ActionDispatcher::PollActions() {
  if (state_.ActionUrl.empty()) {
    return;
  }
  const std::string target = state_.HtaFolder + std::string(kActionListName);
  // The application parameter is the back office's own value, sent back as
  // the login sends it: only what would break the request line is encoded.
  const std::string address = state_.ActionUrl + std::string(kActionQuery) +
                              PercentEncodeBlanks(state_.AppParam) + std::string(kActionTimeStampQuery) +
                              TimeStampText(ports_.clock.LocalTimeOfDay());
  fetch_.FetchFile(address, target);
}

void ActionDispatcher::ProcessActionList() {
  const std::optional<std::string> text =
      ports_.files.ReadAll(state_.HtaFolder + std::string(kActionListName));
  if (!text) {
    return;
  }
  state_.PopupCount = 0;
  // A malformed list keeps the effects of the actions before the fault;
  // there is nobody to tell.
  static_cast<void>(ProcessActions(*text, *this));
}

void ActionDispatcher::DispatchAction(const std::string& type, const std::string& url,
                                      const std::string& fileName, const std::string& text) {
  // An earlier action's fetch or popup yielded, and the program ended there.
  if (ended_) {
    return;
  }
  const std::string kind = LowerAscii(type);
  if (kind == "sound") {
    if (!IsPlainFileName(fileName)) {
      return;
    }
    const std::string path = state_.HtaFolder + fileName;
    if (LocalFileExists(ports_.files, path)) {
      PlayWave(path);
    } else {
      fetch_.FetchFile(url, path);
    }
  } else if (kind == "launch") {
    if (!IsPlainFileName(fileName)) {
      return;
    }
    // Fetched every time: the back office may have changed the application.
    fetch_.FetchFile(url, state_.HtaFolder + fileName + ".hta");
  } else if (kind == "popup") {
    if (!ports_.view.ShowPopupsChecked()) {
      return;
    }
    const std::string appPath = (!fileName.empty() && IsPlainFileName(fileName))
                                    ? state_.HtaFolder + fileName + ".hta"
                                    : std::string();
    popups_.ShowPopup(text, url, appPath);
  }
}

void ActionDispatcher::PlayWave(const std::string& path) {
  // Nothing to do about a sound that does not play.
  static_cast<void>(ports_.sound.PlaySoundFile(path, kWaveFlags));
}

}  // namespace hta
