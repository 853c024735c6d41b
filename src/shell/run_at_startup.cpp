#include "shell/run_at_startup.h"

#include <span>

#include "session/app_title.h"

namespace hta {
namespace {

constexpr std::int32_t kFileNotFound = 2;  // ERROR_FILE_NOT_FOUND

void ReportFailure(Dialogs& dialogs, std::int32_t code, std::string_view what) {
  dialogs.ShowMessage(
      "Error " + std::to_string(code) + std::string(what) + "\r\n" + RegistryErrorDescription(code),
      std::string(kAppTitle), MessageIcon::None);
}

}  // namespace

bool IsRegisteredToRun(RegistryCalls& registry, const std::string& exeName) {
  const std::string subKey(kRunKey);
  RegistryKey key;
  if (registry.OpenKey(static_cast<std::uint32_t>(RegistryRoot::CurrentUser), subKey.c_str(),
                       kRegistryKeyRead, key) != kRegistrySuccess ||
      !key) {
    return false;
  }
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  const bool found =
      registry.QueryValue(key, exeName.c_str(), type, std::span<std::uint8_t>(), size) == kRegistrySuccess;
  registry.CloseKey(key);
  return found;
}

std::string RunCommand(const std::string& appPath, const std::string& exeName) {
  std::string path = appPath;
  if (!path.empty() && path.back() != '\\') {
    path += '\\';
  }
  return "\"" + path + exeName + ".exe\"";
}

void SetRunAtStartup(RegistryCalls& registry, Dialogs& dialogs, const std::string& exeName,
                     const std::string& appPath, bool enable) {
  const std::string subKey(kRunKey);
  RegistryKey key;
  const std::int32_t opened = registry.CreateKey(static_cast<std::uint32_t>(RegistryRoot::CurrentUser),
                                                 subKey.c_str(), kRegistryKeyWrite, key);
  if (opened != kRegistrySuccess || !key) {
    ReportFailure(dialogs, opened, " opening key");
    return;
  }
  if (enable) {
    // Stored as a path: a folder in any script must still start the program.
    const std::int32_t set = registry.SetPathValue(key, exeName.c_str(), RunCommand(appPath, exeName));
    if (set != kRegistrySuccess) {
      ReportFailure(dialogs, set, " setting key");
    }
  } else {
    // A registration that stays after the user cleared the box would start
    // the program at every log-on against the user's wish: that is said.
    const std::int32_t deleted = registry.DeleteValue(key, exeName.c_str());
    if (deleted != kRegistrySuccess && deleted != kFileNotFound) {
      ReportFailure(dialogs, deleted, " setting key");
    }
  }
  registry.CloseKey(key);
}

bool RunAtStartupAtLoad(RegistryCalls& registry, Dialogs& dialogs, const std::string& exeName,
                        bool userCleared) {
  if (!IsRegisteredToRun(registry, exeName)) {
    return false;
  }
  if (!userCleared) {
    return true;
  }
  SetRunAtStartup(registry, dialogs, exeName, std::string(), false);
  return IsRegisteredToRun(registry, exeName);
}

std::string RegistryErrorDescription(std::int32_t code) {
  // The system's English texts for the codes the registry calls give in
  // practice; the core has no way to ask the system for its own wording.
  switch (code) {
    case 2:
      return "The system cannot find the file specified.";
    case 5:
      return "Access is denied.";
    case 6:
      return "The handle is invalid.";
    case 8:
      return "Not enough memory resources are available to process this command.";
    case 87:
      return "The parameter is incorrect.";
    case 1009:
      return "The configuration registry database is corrupt.";
    case 1010:
      return "The configuration registry key is invalid.";
    case 1011:
      return "The configuration registry key could not be opened.";
    case 1013:
      return "The configuration registry key could not be written.";
    case 1018:
      return "Illegal operation attempted on a registry key that has been marked for deletion.";
    case 1021:
      return "Cannot create a stable subkey under a volatile parent key.";
    default:
      return "The registry reported an unexpected error.";
  }
}

}  // namespace hta
