// hta-fake-opener: stands in for the program Windows opens ".hta" files
// with, so the end-to-end tests can see what the launcher's ShellExecuteA
// started. The driver registers it for ".hta" (see FakeHtaAssociation in
// launcher_driver.h) and names a record file in HTA_FAKE_OPENER_RECORD of
// the launcher's environment, which the shell hands on to this program.
//
// Each run appends one line to that file: the command line exactly as the
// process got it, a tab, the current folder, CR LF. Then it ends with 0.
// Without the variable it only ends: a stray start records nothing.
//
// A windowed program (no console flashes up), with nothing but WinMain.

#include <string>

#include "win32/unique_handle.h"
#include "win32/win32_headers.h"

namespace {

constexpr const char* kRecordVariable = "HTA_FAKE_OPENER_RECORD";

std::string EnvironmentValue(const char* name) {
  const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0) {
    return std::string();
  }
  std::string value(size, '\0');
  const DWORD length = GetEnvironmentVariableA(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

std::string CurrentFolder() {
  const DWORD size = GetCurrentDirectoryA(0, nullptr);
  if (size == 0) {
    return std::string();
  }
  std::string folder(size, '\0');
  const DWORD length = GetCurrentDirectoryA(size, folder.data());
  folder.resize(length < size ? length : 0);
  return folder;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string record = EnvironmentValue(kRecordVariable);
  if (record.empty()) {
    return 0;
  }
  const std::string line = std::string(GetCommandLineA()) + "\t" + CurrentFolder() + "\r\n";
  // FILE_APPEND_DATA alone: every write goes to the end, so two runs at once
  // would each leave a whole line.
  hta::win32::UniqueHandle file(CreateFileA(record.c_str(), FILE_APPEND_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return 1;
  }
  DWORD written = 0;
  return WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                 written == line.size()
             ? 0
             : 1;
}
