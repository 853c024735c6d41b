// HtaLauncher.exe: wires the Win32 ports to the program and runs the message
// loop until the main window is gone.

#include <string>

#include "hta_version.h"
#include "ports/main_window.h"
#include "win32/main_window.h"
#include "win32/win32_headers.h"
#include "win32/win32_message_pump.h"

namespace {

// Only DLLs from System32, never from the executable's folder or the
// current directory: a launcher that users start from a Downloads folder
// must not load a DLL planted beside it. Windows 7 without KB2533623 lacks
// the call, hence the lookup.
void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto restrict =
      hta::win32::SystemFunction<SetDefaultDllDirectoriesFn>("kernel32.dll", "SetDefaultDllDirectories");
  if (restrict != nullptr) {
    restrict(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
  }
}

// The program's first shape: the window and its controls with nothing behind
// them but E&xit. Every road out (the button, the tray menu's E&xit, closing
// the window) closes the window, which ends the message loop.
class SkeletonEvents final : public hta::MainWindowEvents {
 public:
  explicit SkeletonEvents(hta::MainWindowView& view) : view_(view) {}

  void cmdLogin_Click() override {}
  void cmdExit_Click() override { view_.Close(); }
  void chkRun_Click() override {}
  void smnuApp_Click(int) override {}
  void smnuShowPopups_Click() override {}
  void smnuExit_Click() override { view_.Close(); }
  void Timer1_Timer() override {}
  void TrayNotification(unsigned) override {}
  void Form_Unload() override { view_.Close(); }

 private:
  hta::MainWindowView& view_;
};

std::string VersionLabel() {
  return "version " + std::to_string(HTA_VERSION_MAJOR) + "." + std::to_string(HTA_VERSION_MINOR) + "." +
         std::to_string(HTA_VERSION_REVISION);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  RestrictDllSearch();

  hta::win32::MainWindow window(instance);
  SkeletonEvents events(window);
  if (!window.Create(events)) {
    return 1;
  }
  window.SetVersionText(VersionLabel());
  window.Show(showCommand);

  hta::win32::Win32MessagePump pump(&window);
  return pump.Run();
}
