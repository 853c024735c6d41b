// HtaLauncher.exe: makes the Win32 ports, hands them to the program's logic
// (Launcher) and runs the message loop until the main window is gone.

#include <string>
#include <utility>
#include <vector>

#include "shell/command_line.h"
#include "shell/launcher.h"
#include "shell/policies.h"
#include "win32/main_window.h"
#include "win32/win32_clock.h"
#include "win32/win32_dialogs.h"
#include "win32/win32_environment.h"
#include "win32/win32_file_system.h"
#include "win32/win32_headers.h"
#include "win32/win32_http.h"
#include "win32/win32_log.h"
#include "win32/win32_message_pump.h"
#include "win32/win32_popup.h"
#include "win32/win32_profile.h"
#include "win32/win32_registry.h"
#include "win32/win32_shell_open.h"
#include "win32/win32_single_instance.h"
#include "win32/win32_sound.h"
#include "win32/win32_user_settings.h"

namespace {

// After an installer's restart manager closed the program for an update,
// Windows starts it again. Not after a crash or a hang, and not after a
// reboot (the Run value starts it at log-on when the user chose so). No
// arguments: a "--bootstrap" of this start must not outlive it. The call
// came with Vista, hence the lookup.
void RegisterForRestart() {
  using RegisterApplicationRestartFn = HRESULT(WINAPI*)(PCWSTR, DWORD);
  auto registerRestart =
      hta::win32::SystemFunction<RegisterApplicationRestartFn>("kernel32.dll", "RegisterApplicationRestart");
  if (registerRestart != nullptr) {
    registerRestart(nullptr, 1 /* RESTART_NO_CRASH */ | 2 /* RESTART_NO_HANG */ | 8 /* RESTART_NO_REBOOT */);
  }
}

// The window, the start-up and the message loop, until the window is gone.
int ShowAndRun(hta::Launcher& launcher, hta::win32::MainWindow& window, hta::win32::Win32MessagePump& pump,
               int showCommand) {
  // Created hidden: Start needs the window (its timer, its controls)
  // before it knows whether this copy may run at all.
  if (!window.Create(launcher)) {
    return 1;
  }
  RegisterForRestart();

  // The start-up runs with the window hidden, as a window's start-up
  // always has: a second copy ends without a window ever flashing up, and a
  // login that sends the program to the tray (the usual start at log-on)
  // shows nothing but the tray icon. The window appears only when start-up
  // leaves it on screen (a failed login, no main application). Message
  // boxes of the start-up appear on their own meanwhile.
  launcher.Start();
  if (!launcher.Ended() && !launcher.InTray()) {
    window.Show(showCommand);
  }

  // Start may already have ended the program (a second copy, no back
  // office): the window is then gone and WM_QUIT waits in the queue.
  return pump.Run();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
  hta::win32::RestrictDllSearch();

  // "--bootstrap URL" (repeatable) replaces the built-in endpoints: for a
  // staging back office and for the tests. It is read from this start's
  // command line only and never stored, so it cannot outlive the start that
  // was given it; whoever can change a shortcut or the Run value can already
  // start any program in the user's name. An administrator's policy wins
  // over it.
  const std::vector<std::string> arguments = hta::SplitCommandLine(commandLine != nullptr ? commandLine : "");

  // The log first, so what the policies' reading finds wrong is in it; its
  // level follows once the policies are read.
  hta::win32::Win32FileLog log(hta::win32::Win32FileLog::DefaultFolder());
  hta::SetLog(&log);
  hta::win32::Win32Registry registry;
  hta::Policies policies = hta::ReadPolicies(registry);
  hta::SetLogLevel(hta::ChooseLogLevel(policies, arguments));
  hta::EndpointChoice endpoints = hta::ChooseEndpoints(policies, arguments);

  // The ports live on this thread's stack for the whole run; Launcher
  // borrows them. The window outlives Launcher (declared before it), so no
  // message can reach a destroyed launcher.
  hta::win32::MainWindow window(instance);
  hta::win32::Win32MessagePump pump(&window);
  hta::win32::Win32Dialogs dialogs([&window] { return window.Handle(); });
  hta::win32::Win32Clock clock;
  hta::win32::Win32Environment environment;
  hta::win32::Win32UserSettings settings;
  hta::win32::Win32ShellOpen shellOpen;  // joins this thread to COM for ShellExecute
  hta::win32::Win32FileSystem files;
  hta::win32::Win32Profile profile;
  hta::win32::Win32Http http(pump);
  hta::win32::Win32SingleInstance singleInstance(hta::win32::Win32SingleInstance::kDefaultMutexName,
                                                 hta::win32::MainWindow::kClassName);
  // The popups' background picture is a resource of this program.
  hta::win32::Win32PopupFactory popups(instance, instance);
  hta::win32::Win32Sound sound;

  hta::Launcher launcher(hta::LauncherPorts{window, dialogs, pump, clock, environment, registry, settings,
                                            shellOpen, files, profile, http, singleInstance, popups, sound},
                         std::move(endpoints.endpoints));
  launcher.UsePolicies(std::move(policies), std::move(endpoints.source));
  return ShowAndRun(launcher, window, pump, showCommand);
}
