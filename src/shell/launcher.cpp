#include "shell/launcher.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "client/unfinished_files.h"
#include "common/ascii.h"
#include "ports/log.h"
#include "settings/ini_file.h"
#include "shell/proxy_settings.h"
#include "shell/registry_text.h"
#include "shell/run_at_startup.h"

// Set by the build from the project's version.
#ifndef HTA_VERSION_TEXT
#error "HTA_VERSION_TEXT must be set by the build"
#endif

namespace hta {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A decimal number: an optional sign, digits, optionally "." and digits.
// Whether it is zero is all a truth value needs, so no digit is converted.
std::optional<bool> NumberIsNonZero(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    text.remove_prefix(1);
  }
  bool digits = false;
  bool nonZero = false;
  bool point = false;
  for (const char c : text) {
    if (IsDigit(c)) {
      digits = true;
      nonZero = nonZero || c != '0';
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) {
    return std::nullopt;
  }
  return nonZero;
}

}  // namespace

std::string VersionText() {
  return "version " HTA_VERSION_TEXT;
}

std::string GetTempFolder(Environment& environment) {
  return environment.TempFolder();
}

bool FolderExists(FileSystem& files, const std::string& path) {
  if (path.empty()) {
    return false;
  }
  std::string folder = path;
  if (folder.back() != '\\') {
    folder += '\\';
  }
  return files.FolderExists(folder);
}

std::optional<bool> ParseTruthValue(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  if (EqualsIgnoringCase(text, "true")) {
    return true;
  }
  if (EqualsIgnoringCase(text, "false")) {
    return false;
  }
  return NumberIsNonZero(text);
}

Launcher::Launcher(const LauncherPorts& ports, std::vector<std::string> bootstrapEndpoints)
    : ports_(ports),
      transfer_(ports.http, ports.files, ports.clock),
      menu_(ports.view, ports.shellOpen, ports.files, state_),
      validators_(ports.profile, ports.files, ports.env),
      client_(ClientPorts{ports.view, ports.dialogs, ports.clock, ports.files}, state_, transfer_, menu_,
              validators_, std::move(bootstrapEndpoints), *this),
      fetch_(FetchPorts{ports.files, ports.shellOpen}, state_, transfer_, validators_, actions_, *this,
             [this] { RunWaitingLogin(); }),
      popups_(PopupPorts{ports.popups, ports.pump, ports.clock, fetch_}),
      actions_(ActionPorts{ports.files, ports.sound, ports.clock, ports.view}, state_, fetch_, popups_,
               *this) {
  // The transfer starts from its properties' defaults.
  transfer_.InitProperties();
  // Only the background fetch downloads on the transfer (the login's
  // requests raise no events).
  transfer_.SetEvents(&fetch_);
}

void Launcher::UsePolicies(Policies policies, std::string endpointsSource) {
  policies_ = std::move(policies);
  endpointsSource_ = std::move(endpointsSource);
}

void Launcher::Start() {
  if (loaded_ || ended_) {
    return;
  }
  loaded_ = true;
  ports_.view.ArmTimer(kPollInterval);
  LogInfo("Start: " + VersionText() + ", " + ports_.env.ExeFolder() + "\\" + ports_.env.ExeName() +
          ".exe, endpoints from " + endpointsSource_);

  if (ports_.instance.AnotherCopyRunning()) {
    ports_.instance.ActivateOtherCopy();
    End("another copy is running");
    return;
  }

  ports_.view.SetVersionText(VersionText());

  const std::optional<std::string> runChoice = ports_.settings.Get(
      std::string(kSettingsApplication), std::string(kSettingsSection), std::string(kRunAtStartupKey));
  const bool userCleared = runChoice && ParseTruthValue(*runChoice) == false;
  settingRunBox_ = true;
  ports_.view.SetRunChecked(
      RunAtStartupAtLoad(ports_.registry, ports_.dialogs, ports_.env.ExeName(), userCleared));
  settingRunBox_ = false;

  InitLauncher();
  // InitLauncher can show a message box (a damaged stored password), in
  // which the user may close the window.
  if (ended_) {
    return;
  }
  ReconnectClicked();
}

void Launcher::InitLauncher() {
  state_.htaFolder = GetTempFolder(ports_.env) + std::string(kHtaSubfolder);
  if (!FolderExists(ports_.files, state_.htaFolder)) {
    // A failure shows later as downloads that cannot be written, which keep
    // the files there were; nothing here can do better.
    ports_.files.CreateFolder(state_.htaFolder);
  }
  // Past the one-copy check: no other copy of this session writes here.
  RemoveUnfinishedFiles(ports_.files, state_.htaFolder);
  validators_.Open(state_.htaFolder);

  const std::string application(kSettingsApplication);
  state_.userString = ports_.settings.Get(application, std::string(kUserSection), std::string(kUserKey))
                          .value_or(std::string());
  ports_.view.SetUserText(state_.userString);

  // Absent or unreadable: popups on, as on a first run.
  const std::optional<std::string> showPopups =
      ports_.settings.Get(application, std::string(kSettingsSection), std::string(kShowPopupsKey));
  ports_.view.SetShowPopupsChecked(showPopups ? ParseTruthValue(*showPopups).value_or(true) : true);
  settingsRead_ = true;

  state_.bootParams = ReadRegString(ports_.registry, static_cast<std::uint32_t>(RegistryRoot::CurrentUser),
                                    std::string(kBootParamsKey), std::string(kBootParamsValue));
  if (!policies_) {
    policies_ = ReadPolicies(ports_.registry);
  }
  // Once, before the first transfer: every request of this run follows it.
  transfer_.RequireHttps(policies_->requireHttps);

  // A proxy set by policy is the whole proxy setting: the INI beside a
  // per-user install is nobody's to maintain.
  if (policies_->proxy) {
    ApplyProxySettings(*policies_->proxy, "policy", transfer_, ports_.dialogs);
  } else {
    const IniFile ini(ports_.profile, ports_.files, ports_.env);
    LoadProxySettings(ini, transfer_, ports_.dialogs);
  }

  state_.mainAppIndex = 0;
}

void Launcher::GoToTray() {
  ports_.view.ShrinkToTray();
  inTray_ = true;
}

void Launcher::ReconnectClicked() {
  if (ended_ || loginRunning_) {
    return;
  }
  // A click that arrives while a fetch yields would start the login on
  // the transfer in the middle of the fetch's transfer, and one of the two
  // would fail (a failed login ends the program). The click is taken now and
  // the login runs once the fetch has ended.
  if (fetch_.Running()) {
    loginWaiting_ = true;
    ports_.view.SetButtonsEnabled(false);
    return;
  }
  loginWaiting_ = false;
  loginRunning_ = true;
  ports_.view.SetButtonsEnabled(false);
  const LoginResult result = client_.ConnectServer(ports_.view.UserText());
  loginRunning_ = false;

  switch (result) {
    case LoginResult::MainAppOpened:
      StoreUserString();
      GoToTray();
      break;
    case LoginResult::Stay:
      StoreUserString();
      ports_.view.SetButtonsEnabled(true);
      break;
    case LoginResult::NoReply:
      ports_.view.SetButtonsEnabled(true);
      break;
    case LoginResult::NoServer:
      End("no bootstrap endpoint answered");
      break;
    case LoginResult::Ended:
      break;
  }
  // Fetches asked for during the login (a popup click) waited for it; after
  // the end of the program the fetch runs nothing.
  fetch_.RunQueued();
}

void Launcher::RunWaitingLogin() {
  if (loginWaiting_) {
    ReconnectClicked();
  }
}

void Launcher::ExitClicked() {
  Shutdown();
}

void Launcher::ExitChosen() {
  Shutdown();
}

void Launcher::RunAtStartupClicked() {
  if (ended_ || settingRunBox_) {
    return;
  }
  const bool checked = ports_.view.RunChecked();
  SetRunAtStartup(ports_.registry, ports_.dialogs, ports_.env.ExeName(), ports_.env.ExeFolder(), checked);
  ports_.settings.Save(std::string(kSettingsApplication), std::string(kSettingsSection),
                       std::string(kRunAtStartupKey), checked ? "True" : "False");
}

void Launcher::MenuEntryChosen(int index) {
  if (ended_) {
    return;
  }
  menu_.OpenEntry(index);
}

void Launcher::ShowPopupsChosen() {
  if (ended_) {
    return;
  }
  ports_.view.SetShowPopupsChecked(!ports_.view.ShowPopupsChecked());
  StoreShowPopups();
}

void Launcher::PollTimerTick() {
  // A tick that comes while a login or a fetch yields (the poll's own
  // transfer, or its list being dispatched: a popup fading in, a sound or a
  // launch being fetched) is skipped; the next one polls. Run inside, it
  // would dispatch a list in the middle of another, reset PopupCount under
  // the running list's popups, and, with a list that outlasts the minute,
  // stack one dispatch on another for ever.
  if (ended_ || loginRunning_ || fetch_.Running()) {
    return;
  }
  if (resumePollDue_) {
    resumePollDue_ = false;
    ports_.view.ArmTimer(kPollInterval);
  }
  actions_.PollActions();
}

void Launcher::SystemResumed() {
  if (ended_) {
    return;
  }
  resumePollDue_ = true;
  ports_.view.ArmTimer(kResumePollDelay);
}

void Launcher::TrayNotification(unsigned mouseMessage) {
  if (ended_) {
    return;
  }
  if (mouseMessage == kTrayLeftButtonDown || mouseMessage == kTrayLeftDoubleClick) {
    // A press starts a new click; a double click's own up is still to come.
    trayDoubleClick_ = mouseMessage == kTrayLeftDoubleClick;
  } else if (mouseMessage == kTrayLeftButtonUp) {
    if (std::exchange(trayDoubleClick_, false)) {
      return;
    }
    ports_.view.BringToForeground();
    if (state_.mainAppIndex > 0) {
      MenuEntryChosen(state_.mainAppIndex);
    }
  } else if (mouseMessage == kTrayRightButtonUp) {
    ports_.view.BringToForeground();
    ports_.view.ShowTrayMenu();
  }
}

void Launcher::Shutdown() {
  if (ended_) {
    return;
  }
  ports_.view.RemoveTrayIcon();
  StoreUserString();
  StoreShowPopups();
  End("closed");
}

void Launcher::StoreUserString() {
  if (settingsRead_) {
    ports_.settings.Save(std::string(kSettingsApplication), std::string(kUserSection), std::string(kUserKey),
                         state_.userString);
  }
}

void Launcher::StoreShowPopups() {
  if (settingsRead_) {
    ports_.settings.Save(std::string(kSettingsApplication), std::string(kSettingsSection),
                         std::string(kShowPopupsKey), ports_.view.ShowPopupsChecked() ? "True" : "False");
  }
}

void Launcher::End(std::string_view why) {
  if (ended_) {
    return;
  }
  ended_ = true;
  LogInfo("End: " + std::string(why));
  // Seen by the download after the read in progress; a download that is not
  // running forgets it when it starts, and none starts any more.
  transfer_.CancelDownload();
  // A new start must not be refused while this process unwinds.
  ports_.instance.Release();
  ports_.view.Close();
}

}  // namespace hta
