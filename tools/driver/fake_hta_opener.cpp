// hta-fake-opener: stands in for the program Windows opens ".hta" files
// with, so the end-to-end tests can see what the launcher's ShellExecuteW
// started. The driver registers it for ".hta" (see FakeHtaAssociation in
// launcher_driver.h) and names a record file in HTA_FAKE_OPENER_RECORD of
// the launcher's environment, which the shell hands on to this program.
//
// Each run appends one line to that file: the command line exactly as the
// process got it, a tab, the current folder, CR LF, in UTF-8 (through the
// wide calls, so a folder in any script shows as it is). Then it ends with
// 0. Without the variable it only ends: a stray start records nothing.
//
// A windowed program (no console flashes up), with nothing but WinMain.

#include <string>

#include "win32/unique_handle.h"
#include "win32/wide_text.h"
#include "win32/win32_headers.h"

namespace {

constexpr const wchar_t* kRecordVariable = L"HTA_FAKE_OPENER_RECORD";

std::wstring EnvironmentValue(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) {
    return std::wstring();
  }
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

std::wstring CurrentFolder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) {
    return std::wstring();
  }
  std::wstring folder(size, L'\0');
  const DWORD length = GetCurrentDirectoryW(size, folder.data());
  folder.resize(length < size ? length : 0);
  return folder;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::wstring record = EnvironmentValue(kRecordVariable);
  if (record.empty()) {
    return 0;
  }
  const std::string line =
      hta::win32::Utf8FromWide(GetCommandLineW()) + "\t" + hta::win32::Utf8FromWide(CurrentFolder()) + "\r\n";
  // FILE_APPEND_DATA alone: every write goes to the end, so two runs at once
  // would each leave a whole line.
  hta::win32::UniqueHandle file(CreateFileW(record.c_str(), FILE_APPEND_DATA,
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
