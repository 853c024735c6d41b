#include "win32/win32_single_instance.h"

#include <optional>
#include <utility>

#include "win32/wide_text.h"
#include "win32/win32_environment.h"

namespace hta::win32 {
namespace {

constexpr UINT kActivateTimeoutMs = 2000;

std::wstring OwnImageName() {
  return WideFromUtf8(NameWithoutExtension(OwnExecutablePath()));
}

// The executable's name of process `processId`, or nullopt when the process
// cannot be asked (a copy running with higher rights, say).
std::optional<std::wstring> ImageNameOf(DWORD processId) {
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) {
    return std::nullopt;
  }
  std::wstring path(32768, L'\0');
  DWORD length = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) {
    return std::nullopt;
  }
  path.resize(length);
  return WideFromUtf8(NameWithoutExtension(Utf8FromWide(path)));
}

// The first top-level window of `windowClass` that belongs to another copy
// of this program. Passed over: windows of this process (a copy that is
// still starting has a window of the class too: the core needs the window
// before it asks) and windows of a program with another file name (a test
// that makes the window in its own process, or any other program using the
// class name, must not be handed the foreground).
HWND OtherCopysWindow(const std::string& windowClass) {
  const DWORD self = GetCurrentProcessId();
  const std::wstring ownName = OwnImageName();
  HWND window = nullptr;
  while ((window = FindWindowExA(nullptr, window, windowClass.c_str(), nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == 0 || owner == self) {
      continue;
    }
    const std::optional<std::wstring> name = ImageNameOf(owner);
    if (!name || ownName.empty() || lstrcmpiW(name->c_str(), ownName.c_str()) == 0) {
      return window;
    }
  }
  return nullptr;
}

}  // namespace

Win32SingleInstance::Win32SingleInstance(std::string mutexName, std::string windowClass)
    : mutexName_(std::move(mutexName)), windowClass_(std::move(windowClass)) {}

bool Win32SingleInstance::AnotherCopyRunning() {
  if (asked_) {
    return another_;
  }
  asked_ = true;
  // Default security: the mutex is this user's; another user cannot open it,
  // and the Local\ namespace keeps other sessions apart.
  UniqueHandle mutex(CreateMutexA(nullptr, FALSE, mutexName_.c_str()));
  const DWORD error = GetLastError();
  if (mutex) {
    another_ = error == ERROR_ALREADY_EXISTS;
    if (!another_) {
      mutex_ = std::move(mutex);
    }
    return another_;
  }
  // The name exists but cannot be opened: a copy running with other rights
  // (elevated, say) holds it. Still one copy too many.
  //
  // Any other failure lets this copy run: refusing to start because a
  // marker could not be made would lock the user out of the program.
  //
  // Security: any program running under the same account can take the name
  // first (with rights that shut this program out) and so keep the launcher
  // from starting. Nothing inside one account can prevent that, and such a
  // program could do worse; the marker only guards against double starts.
  another_ = error == ERROR_ACCESS_DENIED;
  return another_;
}

void Win32SingleInstance::ActivateOtherCopy() {
  HWND window = OtherCopysWindow(windowClass_);
  if (window == nullptr) {
    return;
  }
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  AllowSetForegroundWindow(owner);

  const UINT activate = RegisterWindowMessageA(kActivateMessage);
  DWORD_PTR answer = 0;
  if (activate != 0 &&
      SendMessageTimeoutA(window, activate, 0, 0, SMTO_ABORTIFHUNG, kActivateTimeoutMs, &answer) != 0) {
    return;
  }
  // The copy did not answer (busy, or a copy too old to know the message):
  // do what can be done from outside. A window hidden in the tray stays
  // hidden; showing it from here would leave its tray state behind.
  if (IsWindowVisible(window)) {
    if (IsIconic(window)) {
      ShowWindow(window, SW_RESTORE);
    }
    SetForegroundWindow(window);
  }
}

}  // namespace hta::win32
