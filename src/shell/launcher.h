#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/action_poll.h"
#include "client/app_menu.h"
#include "client/fetch.h"
#include "client/login.h"
#include "popup/popups.h"
#include "ports/clock.h"
#include "ports/dialogs.h"
#include "ports/environment.h"
#include "ports/file_system.h"
#include "ports/http.h"
#include "ports/main_window.h"
#include "ports/message_pump.h"
#include "ports/popup_window.h"
#include "ports/profile.h"
#include "ports/registry.h"
#include "ports/shell_open.h"
#include "ports/single_instance.h"
#include "ports/sound.h"
#include "ports/user_settings.h"
#include "session/program_state.h"
#include "session/session_state.h"
#include "shell/policies.h"
#include "transfer/internet_file.h"

namespace hta {

// Where the program keeps its per-user settings, and what it keeps.
inline constexpr std::string_view kSettingsApplication = "HTA_Launcher";
inline constexpr std::string_view kUserSection = "user";
inline constexpr std::string_view kUserKey = "user";
inline constexpr std::string_view kSettingsSection = "settings";
inline constexpr std::string_view kShowPopupsKey = "showPopups";
// The run-at-start-up box as the user last left it ("True"/"False"); absent
// until the user first clicks it.
inline constexpr std::string_view kRunAtStartupKey = "runAtStartup";

// The boot parameters that VANO leaves for the launcher; only read.
inline constexpr std::string_view kBootParamsKey = "Software\\VANO\\VANO.exe";
inline constexpr std::string_view kBootParamsValue = "BootParams";

// The application folder, below the temporary folder.
inline constexpr std::string_view kHtaSubfolder = "hta\\";

// The poll timer's interval once the program runs: the action poll's period.
inline constexpr unsigned kPollInterval = 60000;
// The poll timer's interval after the machine resumes from sleep: the action list
// is asked for soon, once the network has had a moment to come back, rather
// than up to a minute later.
inline constexpr unsigned kResumePollDelay = 3000;

// The mouse messages a tray notification carries that do something.
inline constexpr unsigned kTrayLeftButtonDown = 0x0201;   // WM_LBUTTONDOWN
inline constexpr unsigned kTrayLeftButtonUp = 0x0202;     // WM_LBUTTONUP
inline constexpr unsigned kTrayLeftDoubleClick = 0x0203;  // WM_LBUTTONDBLCLK
inline constexpr unsigned kTrayRightButtonUp = 0x0205;    // WM_RBUTTONUP

// The version label of this build: "version " and major.minor.revision.
std::string VersionText();

// The system temporary folder, ending in a backslash; empty when the
// platform reports none.
std::string GetTempFolder(Environment& environment);

// Whether `path` names an existing folder (a trailing backslash is added
// when missing). Never fails: any trouble counts as no.
bool FolderExists(FileSystem& files, const std::string& path);

// A stored truth value: "True" or "False" in any letter case, or a decimal
// number, non-zero being true; blanks around it are allowed. nullopt for
// anything else.
std::optional<bool> ParseTruthValue(std::string_view text);

// Everything the main window's logic reaches the platform through. All are
// borrowed and must outlive the Launcher that gets them.
struct LauncherPorts {
  MainWindowView& view;
  Dialogs& dialogs;
  MessagePump& pump;
  Clock& clock;
  Environment& env;
  RegistryCalls& registry;
  UserSettings& settings;
  ShellOpen& shellOpen;
  FileSystem& files;
  ProfileCalls& profile;
  HttpClient& http;
  SingleInstance& instance;
  PopupFactory& popups;
  Sound& sound;
};

// The main window's logic: start-up, the login button, the run-at-start-up
// box, the application menu, the tray icon's clicks, the action poll and
// shut-down. It owns the session state, the transfer (Transfer()),
// the application menu, the background fetch, the action dispatcher and the
// popups, and drives the window through MainWindowView.
//
// Ending the program. The core never ends the process itself. Where the
// program ends at once (a second copy, no bootstrap endpoint answering,
// Shutdown) it sets Ended(), asks a running download to stop, gives up
// the one-copy claim and calls view.Close(), which ends the message loop.
// From then on every handler returns at once, and a handler that was
// waiting in a yield when it happened (a transfer, a message box) unwinds
// without touching the view or the state again: the download stops after
// the read in progress, its partial file is removed, and nothing more is
// fetched, played, opened or shown. The process ends as soon as the stack
// has unwound.
//
// The user string and the popup choice are stored when they change (after
// a login that got a reply; on the popup switch) as well as at the end, so
// a process that is killed loses nothing.
//
// Every handler may be entered from inside another one's yield (see
// MainWindowEvents); a login never runs inside another login.
class Launcher final : public MainWindowEvents, public ProgramState {
 public:
  // The endpoints are the bootstrap addresses in the order they are tried
  // (BootstrapEndpoints of shell/command_line.h).
  Launcher(const LauncherPorts& ports, std::vector<std::string> bootstrapEndpoints);
  Launcher(const Launcher&) = delete;
  Launcher& operator=(const Launcher&) = delete;

  // The policies read at start-up and where the endpoints given to the
  // constructor came from (ChooseEndpoints), for InitLauncher and the log;
  // before Start. Without it InitLauncher reads the policies itself.
  void UsePolicies(Policies policies, std::string endpointsSource);

  // The start-up sequence: arms the poll timer; ends at once when another copy runs
  // (after bringing that copy forward); sets the version label and the
  // run-at-start-up box (RunAtStartupAtLoad); InitLauncher; then the
  // automatic login, exactly as ReconnectClicked. Runs once; a second call
  // does nothing.
  void Start();

  // The session state at start-up: the application folder (created when
  // missing, cleared of unfinished files), the remembered user string (into the User box), the popup
  // preference, the boot parameters, the HTTPS policy (into the transfer),
  // the proxy settings, no main application. Called once, by Start.
  void InitLauncher();

  // Sends the window to the tray (after a login that opened the main
  // application).
  void GoToTray();

  // MainWindowEvents.
  // Disables both buttons and logs in with the text of the User box. The window
  // goes to the tray when the main application was opened (both buttons stay
  // disabled); the buttons come back when the window stays; the program
  // ends when no bootstrap endpoint answered.
  void ReconnectClicked() override;
  // Both run Shutdown.
  void ExitClicked() override;
  void ExitChosen() override;
  // Registers or unregisters the program in the Run key by the box's
  // state and remembers that state in the settings (Start keeps a
  // cleared box cleared across upgrades); does nothing while Start sets
  // the box.
  void RunAtStartupClicked() override;
  // Opens the application of menu entry `index` (1 to 10).
  void MenuEntryChosen(int index) override;
  // Inverts the check of "Show popup messages" and stores the choice.
  void ShowPopupsChosen() override;
  // Polls the action list. A tick while a login runs is skipped: the login
  // holds the transfer and is about to replace the action-list address, so
  // a poll held back for it would ask the old one; the next tick polls. So
  // is a tick while a fetch runs or its list is being dispatched.
  // The first poll after a resume puts the poll timer back to kPollInterval.
  void PollTimerTick() override;
  // WM_LBUTTONUP: the window's process to the foreground, then the main
  // application, when there is one. WM_RBUTTONUP: to the foreground, then
  // the tray menu. Anything else (moves, presses, double clicks): nothing.
  // The shell reports a double click as down, up, double click, up: the up
  // that ends a double click does nothing, so a double click opens the main
  // application once, as a single click does.
  void TrayNotification(unsigned mouseMessage) override;
  // Removes the tray icon, stores the user string and the popup preference
  // (only once start-up has read them, so an early close never overwrites
  // them with empty values), and ends the program.
  void Shutdown() override;
  // The poll timer ticks after kResumePollDelay: the action list is polled by the
  // tick, with a tick's rules (never inside a login, queued behind a
  // running fetch), so a transfer that the sleep broke is not joined by a
  // second one.
  void SystemResumed() override;

  // ProgramState. The program has ended: the view was told to close;
  // nothing more runs.
  bool Ended() const override { return ended_; }
  // The window went to the tray (GoToTray).
  bool InTray() const { return inTray_; }
  // Start is setting the run-at-start-up box.
  bool SettingRunBox() const { return settingRunBox_; }
  // A login is under way (the action poll must not start a transfer on
  // the transfer meanwhile).
  bool LoginRunning() const override { return loginRunning_; }

  SessionState& State() { return state_; }
  const SessionState& State() const { return state_; }
  InternetFile& Transfer() { return transfer_; }
  AppMenu& Menu() { return menu_; }
  Client& Session() { return client_; }
  FileFetch& Fetch() { return fetch_; }
  ActionDispatcher& Actions() { return actions_; }
  Popups& PopupWindows() { return popups_; }
  const LauncherPorts& Ports() const { return ports_; }

 private:
  // Ends the program (see the class comment); once only. `why` is logged.
  void End(std::string_view why);
  // Runs the login clicked for while a fetch was running.
  void RunWaitingLogin();
  // Store the user string / the popup choice, once start-up has read them.
  void StoreUserString();
  void StoreShowPopups();

  LauncherPorts ports_;
  SessionState state_;
  std::optional<Policies> policies_;
  std::string endpointsSource_ = "built-in";
  bool ended_ = false;
  bool inTray_ = false;
  bool settingRunBox_ = false;
  bool loginRunning_ = false;
  bool loginWaiting_ = false;
  bool loaded_ = false;
  bool settingsRead_ = false;
  // The poll timer runs at kResumePollDelay until its next poll.
  bool resumePollDue_ = false;
  // The last left-button message was a double click: the up that follows
  // belongs to it.
  bool trayDoubleClick_ = false;
  InternetFile transfer_;
  AppMenu menu_;
  // What the server said of the application files, for the login's
  // downloads and the fetch.
  ValidatorStore validators_;
  Client client_;
  // The fetch uses arrived files through the dispatcher, which is made
  // after it; it only keeps the reference until then.
  FileFetch fetch_;
  Popups popups_;
  ActionDispatcher actions_;
};

}  // namespace hta
