#include "actions/action_poll.h"

#include <optional>

#include "client/app_menu.h"
#include "client/file_names.h"
#include "client/request_encoding.h"
#include "common/ascii.h"
#include "markup/markup.h"
#include "ports/log.h"

namespace hta {

namespace {

// The only sounds played: sndPlaySound plays wave data, and a file of
// another type the server named a sound is left alone.
constexpr std::string_view kWaveExtension = ".wav";

// The application-folder path of an action's file `fileName` + `extension`,
// or nullopt when the server may not name it: not a plain file name, or the
// action list itself, which only the poll writes.
std::optional<std::string> ActionFilePath(const LauncherState& state, const std::string& fileName,
                                          std::string_view extension) {
  const std::string name = fileName + std::string(extension);
  if (!IsPlainFileName(fileName) || EqualsIgnoringCase(name, kActionListName)) {
    return std::nullopt;
  }
  return state.HtaFolder + name;
}

}  // namespace

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
  fetch_.FetchFile(address, target, FetchPurpose::ActionList);
}

void ActionDispatcher::ProcessActionList() {
  const std::string path = state_.HtaFolder + std::string(kActionListName);
  // A list past the limit is not read at all, so never acted on in part.
  const std::optional<std::int64_t> length = ports_.files.FileLength(path);
  const std::optional<std::string> text =
      length && *length <= static_cast<std::int64_t>(kTransferLimits.textBytes) ? ports_.files.ReadAll(path)
                                                                                : std::nullopt;
  if (!text) {
    return;
  }
  state_.PopupCount = 0;
  actionCount_ = 0;
  // A malformed list keeps the effects of the actions before the fault;
  // there is nobody to tell.
  static_cast<void>(ProcessActions(*text, *this));
  LogInfo("Poll: " + std::to_string(text->size()) + " bytes, " + std::to_string(actionCount_) + " actions");
}

void ActionDispatcher::DispatchAction(const std::string& type, const std::string& url,
                                      const std::string& fileName, const std::string& text) {
  ++actionCount_;
  // An earlier action's fetch or popup yielded, and the program ended there.
  if (ended_) {
    return;
  }
  const std::string kind = LowerAscii(type);
  if (kind == "sound") {
    const std::optional<std::string> path = ActionFilePath(state_, fileName, "");
    if (!path) {
      return;
    }
    if (LocalFileExists(ports_.files, *path)) {
      PlayWave(*path);
    } else {
      fetch_.FetchFile(url, *path, FetchPurpose::Sound);
    }
  } else if (kind == "launch") {
    const std::optional<std::string> path = ActionFilePath(state_, fileName, kApplicationExtension);
    if (!path) {
      return;
    }
    // Fetched every time: the back office may have changed the application.
    fetch_.FetchFile(url, *path, FetchPurpose::Application);
  } else if (kind == "popup") {
    if (!ports_.view.ShowPopupsChecked()) {
      return;
    }
    const std::optional<std::string> appPath =
        fileName.empty() ? std::nullopt : ActionFilePath(state_, fileName, kApplicationExtension);
    popups_.ShowPopup(text, url, appPath.value_or(std::string()));
  }
}

void ActionDispatcher::PlayWave(const std::string& path) {
  if (!EndsWithIgnoringCase(path, kWaveExtension)) {
    return;
  }
  // Nothing to do about a sound that does not play.
  static_cast<void>(ports_.sound.PlaySoundFile(path, kWaveFlags));
}

}  // namespace hta
