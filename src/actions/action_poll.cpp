#include "actions/action_poll.h"

#include <optional>
#include <utility>

#include "actions/wave_image.h"
#include "client/app_menu.h"
#include "client/file_names.h"
#include "client/replace_file.h"
#include "client/request_encoding.h"
#include "client/validator_store.h"
#include "common/ascii.h"
#include "markup/markup.h"
#include "ports/log.h"

namespace hta {

namespace {

// The only sounds played: sndPlaySound plays wave data, and a file of
// another type the server named a sound is left alone.
constexpr std::string_view kWaveExtension = ".wav";

// The application-folder path of an action's file (ActionFileName): the
// name is confined as the server sent it, then made a path.
std::optional<std::string> ActionFilePath(FileSystem& files, const SessionState& state,
                                          const std::string& fileName, std::string_view extension) {
  const std::optional<std::string> name = ActionFileName(fileName, extension);
  return name ? std::optional<std::string>(state.htaFolder + files.PathFromAnsi(*name)) : std::nullopt;
}

}  // namespace

std::string ActionListAddress(std::string_view actionUrl, std::string_view appParam, const TimeOfDay& time) {
  // The application parameter is the back office's own value, sent back as
  // the login sends it: only what would break the request line is encoded.
  return std::string(actionUrl) + std::string(kActionQuery) + PercentEncodeBlanks(appParam) +
         std::string(kActionTimeStampQuery) + TimeStampText(time);
}

std::optional<std::string> ActionFileName(std::string_view fileName, std::string_view extension) {
  std::string name = std::string(fileName) + std::string(extension);
  if (!IsPlainFileName(fileName) || EqualsIgnoringCase(name, kActionListName) || IsValidatorStoreName(name)) {
    return std::nullopt;
  }
  return name;
}

bool IsWaveFile(std::string_view path) {
  return EndsWithIgnoringCase(path, kWaveExtension);
}

ActionDispatcher::ActionDispatcher(ActionPorts ports, const SessionState& state, FileFetch& fetch,
                                   Popups& popups, const ProgramState& program)
    : ports_(ports), state_(state), fetch_(fetch), popups_(popups), program_(program) {}

void ActionDispatcher::PollActions() {
  if (state_.actionUrl.empty()) {
    return;
  }
  const std::string target = state_.htaFolder + std::string(kActionListName);
  const std::string address =
      ActionListAddress(state_.actionUrl, state_.appParam, ports_.clock.LocalTimeOfDay());
  fetch_.FetchFile(address, target, FetchPurpose::ActionList);
}

void ActionDispatcher::ProcessActionList() {
  const std::string path = state_.htaFolder + std::string(kActionListName);
  // A list past the limit is not read at all, so never acted on in part.
  const std::optional<std::int64_t> length = ports_.files.FileLength(path);
  const std::optional<std::string> text =
      length && *length <= static_cast<std::int64_t>(kTransferLimits.textBytes) ? ports_.files.ReadAll(path)
                                                                                : std::nullopt;
  if (!text) {
    return;
  }
  popups_.PopupCount(0);
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
  if (program_.Ended()) {
    return;
  }
  const std::string kind = LowerAscii(type);
  if (kind == "sound") {
    const std::optional<std::string> path = ActionFilePath(ports_.files, state_, fileName, "");
    if (!path) {
      return;
    }
    if (LocalFileExists(ports_.files, *path)) {
      PlayWave(*path);
    } else {
      fetch_.FetchFile(url, *path, FetchPurpose::Sound);
    }
  } else if (kind == "launch") {
    const std::optional<std::string> path =
        ActionFilePath(ports_.files, state_, fileName, kApplicationExtension);
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
        fileName.empty() ? std::nullopt
                         : ActionFilePath(ports_.files, state_, fileName, kApplicationExtension);
    popups_.ShowPopup(text, url, appPath.value_or(std::string()));
  }
}

std::optional<std::string> ActionDispatcher::ReadWave(const std::string& path, const std::string& name) {
  const std::optional<std::int64_t> length = ports_.files.FileLength(path);
  if (length && *length > kLargestSound) {
    LogInfo("Sound refused: " + name + ": larger than 16 MiB");
    return std::nullopt;
  }
  std::optional<std::string> wave = length ? ports_.files.ReadAll(path) : std::nullopt;
  if (!wave) {
    LogInfo("Sound refused: " + name + ": could not be read (" +
            std::string(FailureText(ports_.files.LastFailure())) + ")");
    return std::nullopt;
  }
  if (!IsWholeWave(*wave)) {
    LogInfo("Sound refused: " + name + ": not a whole wave file");
    return std::nullopt;
  }
  return wave;
}

void ActionDispatcher::PlayWave(const std::string& path) {
  if (!IsWaveFile(path)) {
    return;
  }
  const std::string name = path.substr(path.find_last_of('\\') + 1);
  std::optional<std::string> wave = ReadWave(path, name);
  if (wave) {
    LogInfo((ports_.sound.PlayWave(std::move(*wave), kWaveFlags) ? "Sound: " : "Sound failed: ") + name);
  }
}

}  // namespace hta
