#pragma once

// The one way the Win32 side includes the Windows headers, so every file sees
// the same macros. The build defines WIN32_LEAN_AND_MEAN, NOMINMAX, STRICT and
// the Windows 10 target version for the whole hta_win32 library.

#include <windows.h>

// <winbase.h> still carries 16-bit Windows' `Yield()` as an empty macro: a
// call to anything of that name would silently vanish. Without the macro such
// a call fails to compile instead.
#ifdef Yield
#undef Yield
#endif

namespace hta::win32 {

// A function of a system DLL that the process has already loaded (kernel32,
// user32), looked up by name; null when this Windows version lacks it.
// Only GetModuleHandleA is used, never LoadLibrary: looking a function up
// must not be a way to load a DLL planted next to the executable.
template <typename Function>
Function SystemFunction(const char* module, const char* name) {
  HMODULE loaded = GetModuleHandleA(module);
  if (loaded == nullptr) {
    return nullptr;
  }
  FARPROC address = GetProcAddress(loaded, name);
  // Through void(*)() because GCC accepts any function pointer cast from it
  // without -Wcast-function-type noise; the caller names the true type.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

// Only DLLs from System32, never from the executable's folder or the
// current directory: a program that users start from a Downloads folder
// must not load a DLL planted beside it. WinINet and WinMM are delay-loaded
// (cmake/DelayLoad.cmake): the first call into each loads it, with this
// search order, so a program calls this before anything else. Windows 7
// without KB2533623 lacks the call, hence the lookup.
inline void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto restrict = SystemFunction<SetDefaultDllDirectoriesFn>("kernel32.dll", "SetDefaultDllDirectories");
  if (restrict != nullptr) {
    restrict(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
  }
}

}  // namespace hta::win32
