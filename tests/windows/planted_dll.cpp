// A DLL planted beside the launcher under the name of a system DLL
// (winmm.dll, wininet.dll). Were it ever loaded, it leaves "<its own
// path>.loaded" beside itself and refuses to load, so the test sees it
// whether the program then fails or not.

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    char marker[MAX_PATH + 16];
    const DWORD length = GetModuleFileNameA(self, marker, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      lstrcpyA(marker + length, ".loaded");
      HANDLE file =
          CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
      }
    }
    return FALSE;
  }
  return TRUE;
}
