#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "client/fetch.h"
#include "markup/reply_targets.h"
#include "popup/popups.h"
#include "ports/clock.h"
#include "ports/file_system.h"
#include "ports/main_window.h"
#include "ports/sound.h"
#include "session/program_state.h"
#include "session/session_state.h"

namespace hta {

// The local copy of the action list, in the application folder.
inline constexpr std::string_view kActionListName = "actions.xml";
// The action list's address: actionUrl, this, appParam, "&ts=", time stamp.
inline constexpr std::string_view kActionQuery = "?VANO_BACKOFFICE=";
inline constexpr std::string_view kActionTimeStampQuery = "&ts=";

// The flags of every sound: played in the background, silence instead of
// the system's default sound when the file cannot be played.
inline constexpr std::uint32_t kWaveFlags = kSoundAsync | kSoundNoDefault;

// The action list's address for the action-list address `actionUrl` and the
// application parameter `appParam`.
std::string ActionListAddress(std::string_view actionUrl, std::string_view appParam, const TimeOfDay& time);

// The name in the application folder of an action's file `fileName` +
// `extension`, or nullopt when the server may not name it: not a plain file
// name, the action list itself, which only the poll writes, or the
// validator store, which only the store writes.
std::optional<std::string> ActionFileName(std::string_view fileName, std::string_view extension);

// Whether a sound file at `path` is played: only wave files (".wav", any
// letter case).
bool IsWaveFile(std::string_view path);

// What the action poll reaches the platform through. All are borrowed and
// must outlive the ActionDispatcher.
struct ActionPorts {
  FileSystem& files;
  Sound& sound;
  Clock& clock;
  // Only the popup preference's check is read.
  MainWindowView& view;
};

// The server's actions: the poll of the action list, its processing, and
// the dispatch of each action (a sound played, an application fetched and
// opened, a popup shown).
//
// Action file names are joined to the application folder only when they
// pass the same rule as the login's file names (IsPlainFileName): the
// server may not make the launcher write or open anything outside it. Nor
// may an action's file be the action list itself ("actions.xml" in any
// letter case), which only the poll fetches, or the validator store
// ("validators.ini"). A sound or launch whose name is
// refused is skipped; a popup whose name is refused still shows its text,
// but without a link, as there is no file it could safely fetch and open.
class ActionDispatcher final : public ActionTarget, public FetchedFileUse {
 public:
  // Once `program` has ended, the rest of a list being processed is
  // dropped.
  ActionDispatcher(ActionPorts ports, const SessionState& state, FileFetch& fetch, Popups& popups,
                   const ProgramState& program);
  ActionDispatcher(const ActionDispatcher&) = delete;
  ActionDispatcher& operator=(const ActionDispatcher&) = delete;

  // Fetches the action list into the folder's "actions.xml"; its arrival
  // processes it. Nothing without an action-list address.
  void PollActions();

  // Reads the folder's "actions.xml", whatever its length, and dispatches
  // its actions in order. A missing list does nothing; a list that was read
  // resets PopupCount, so its popups start again at the lowest slot.
  // Malformed markup ends the processing where it is found.
  void ProcessActionList() override;

  // One action; the type in any letter case. Nothing after the end.
  void DispatchAction(const std::string& type, const std::string& url, const std::string& fileName,
                      const std::string& text) override;

  // Starts playing a wave file and returns at once. A file whose name does
  // not end in ".wav" (any letter case) is not played; nor is one that
  // cannot be read, is larger than kLargestSound or is no whole wave file
  // (IsWholeWave), which the log says.
  void PlayWave(const std::string& path) override;

 private:
  // The wave file at `path` (named `name` in the log), or nullopt when it
  // is not played.
  std::optional<std::string> ReadWave(const std::string& path, const std::string& name);

  ActionPorts ports_;
  const SessionState& state_;
  FileFetch& fetch_;
  Popups& popups_;
  const ProgramState& program_;
  // Actions of the list being read, for the log.
  int actionCount_ = 0;
};

}  // namespace hta
