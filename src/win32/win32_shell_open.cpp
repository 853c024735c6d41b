#include "win32/win32_shell_open.h"

#include <objbase.h>
#include <shellapi.h>

#include "win32/wide_text.h"
#include "win32/win32_headers.h"

namespace hta::win32 {
namespace {

const wchar_t* NullIfEmpty(const std::wstring& text) {
  return text.empty() ? nullptr : text.c_str();
}

}  // namespace

Win32ShellOpen::Win32ShellOpen() {
  // S_FALSE (already joined by someone else) must be balanced too; only a
  // failure (RPC_E_CHANGED_MODE: the thread is multi-threaded) must not.
  // COINIT_DISABLE_OLE1DDE: ShellExecute would otherwise try the old DDE
  // conversation with the target program and can hang on it.
  comJoined_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

Win32ShellOpen::~Win32ShellOpen() {
  if (comJoined_) {
    CoUninitialize();
  }
}

std::intptr_t Win32ShellOpen::Execute(const std::string& verb, const std::string& file,
                                      const std::string& parameters, const std::string& directory,
                                      int showCommand) {
  // The shell takes no "\\?\" path: the core never hands it one longer
  // than MAX_PATH.
  const std::wstring wideVerb = WideFromAnsi(verb);
  const std::wstring wideFile = WideFromUtf8(file);
  const std::wstring wideParameters = WideFromAnsi(parameters);
  const std::wstring wideDirectory = WideFromUtf8(directory);
  HINSTANCE result = ShellExecuteW(nullptr, NullIfEmpty(wideVerb), wideFile.c_str(),
                                   NullIfEmpty(wideParameters), NullIfEmpty(wideDirectory), showCommand);
  // Not a module handle: a number above 32 for success, an error code below.
  return reinterpret_cast<std::intptr_t>(result);
}

}  // namespace hta::win32
