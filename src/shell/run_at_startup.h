#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ports/dialogs.h"
#include "ports/registry.h"

namespace hta {

// The current user's Run key: Windows starts every program named there at
// log-on.
inline constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Whether the Run key holds a value named `exeName` (the executable's name
// without ".exe"), wherever it points. A key that cannot be opened counts
// as no.
bool IsRegisteredToRun(RegistryCalls& registry, const std::string& exeName);

// The data of the program's Run value: the full path of the executable in
// double quotes, so that a folder with blanks ("C:\Program Files\...") is
// not split into a program and arguments at log-on. A folder that is a
// drive's root ("C:\") gives "C:\Launcher.exe", not "C:\\Launcher.exe".
std::string RunCommand(const std::string& appPath, const std::string& exeName);

// Registers the program (enable) or removes the registration: the value
// named `exeName` in the Run key, with RunCommand(appPath, exeName) as its
// REG_SZ data. A key that cannot be opened or created, a value that cannot
// be written, and a registration that cannot be removed are reported in a
// message box ("Error <code> opening key" / " setting key", CR LF, what the
// code means). Removing a registration that is not there is no failure.
void SetRunAtStartup(RegistryCalls& registry, Dialogs& dialogs, const std::string& exeName,
                     const std::string& appPath, bool enable);

// The box's state at start-up: whether the program is registered to run.
// When the user cleared the box on an earlier run (`userCleared`), a
// registration found now was written back by an installer (an upgrade
// writes its Run value again): it is removed as SetRunAtStartup removes it,
// so the user's own choice outlives upgrades, and the box shows cleared.
bool RunAtStartupAtLoad(RegistryCalls& registry, Dialogs& dialogs, const std::string& exeName,
                        bool userCleared);

// What a registry result code means, for the failure messages.
std::string RegistryErrorDescription(std::int32_t code);

}  // namespace hta
