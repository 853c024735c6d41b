#include "launcher_driver.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <span>
#include <utility>

#include "win32/handles.h"
#include "win32/main_window.h"
#include "win32/wide_text.h"
#include "win32/win32_file_system.h"
#include "win32/win32_registry.h"

namespace hta::wintest {
namespace {

using win32::UniqueHandle;
using win32::UniqueRegKey;
using win32::Utf8FromWide;
using win32::WideFromUtf8;

constexpr DWORD kMessageTimeoutMs = 5000;
constexpr const char* kMainWindowClass = "HtaLauncherMainWindow";
constexpr const char* kDialogClass = "#32770";
constexpr const char* kMenuClass = "#32768";
// The id of the launcher's one tray icon: the shell puts it in the
// notification's wParam.
constexpr WPARAM kTrayIconId = 1;
// The static control of a message box that holds its text.
constexpr int kMessageBoxTextId = 0xFFFF;

std::string WindowsPathOf(std::string path) {
  if (!path.empty() && path[0] == '/') {
    std::replace(path.begin(), path.end(), '/', '\\');
    path = "Z:" + path;
  }
  return path;
}

DWORD ProcessOf(HWND window) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner;
}

// TEMP of this process, ending in a backslash (UTF-8, as every path here).
std::string TempPath() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  return length > 0 && length <= MAX_PATH ? Utf8FromWide(std::wstring_view(buffer, length))
                                          : std::string("C:\\");
}

// Without the trailing backslash that GetTempPathW adds (it wants none in
// the variable); a drive's root keeps it.
std::string WithoutTrailingBackslash(std::string folder) {
  if (folder.size() > 3 && folder.back() == '\\') {
    folder.pop_back();
  }
  return folder;
}

// A copy of this process's environment with TEMP and TMP naming `temp`,
// LOCALAPPDATA naming `localAppData` and the fake opener's record variable
// naming `record` (none when empty), as the block CreateProcessW takes with
// CREATE_UNICODE_ENVIRONMENT: NAME=VALUE strings, each ending in a NUL, and
// one more NUL at the end. Wide, so a folder in any script gets through.
std::wstring EnvironmentWithTemp(const std::string& temp, const std::string& localAppData,
                                 const std::string& record) {
  const std::wstring record_name = WideFromUtf8(kFakeOpenerRecordVariable);
  std::vector<std::wstring> entries;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p != L'\0'; p += std::wcslen(p) + 1) {
      const std::wstring entry = p;
      const std::wstring name = entry.substr(0, entry.find(L'=', 1));  // "=C:=C:\..." names start with "="
      if (lstrcmpiW(name.c_str(), L"TEMP") != 0 && lstrcmpiW(name.c_str(), L"TMP") != 0 &&
          lstrcmpiW(name.c_str(), L"LOCALAPPDATA") != 0 &&
          lstrcmpiW(name.c_str(), record_name.c_str()) != 0) {
        entries.push_back(entry);
      }
    }
    FreeEnvironmentStringsW(block);
  }
  if (!record.empty()) {
    entries.push_back(record_name + L"=" + WideFromUtf8(record));
  }
  entries.push_back(L"TEMP=" + WideFromUtf8(WithoutTrailingBackslash(temp)));
  entries.push_back(L"TMP=" + WideFromUtf8(WithoutTrailingBackslash(temp)));
  entries.push_back(L"LOCALAPPDATA=" + WideFromUtf8(WithoutTrailingBackslash(localAppData)));
  // Windows keeps the block sorted by name, without regard to case.
  std::sort(entries.begin(), entries.end(),
            [](const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) < 0; });
  std::wstring block;
  for (const std::wstring& entry : entries) {
    block += entry + L'\0';
  }
  return block + L'\0';
}

// One entry of a folder: its name (UTF-8) and attributes.
struct FolderEntry {
  std::string name;
  DWORD attributes = 0;
};

// The entries of `folder` (which ends in a backslash) but "." and "..".
std::vector<FolderEntry> EntriesOf(const std::string& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW found{};
  const win32::OwnedFind search =
      win32::TakeSearch(FindFirstFileW(WideFromUtf8(folder + "*").c_str(), &found));
  if (search) {
    do {
      if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0) {
        entries.push_back({Utf8FromWide(found.cFileName), found.dwFileAttributes});
      }
    } while (FindNextFileW(search.get(), &found));
  }
  return entries;
}

bool MakeFolder(const std::string& path) {
  return CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) != FALSE;
}

bool CopyNew(const std::string& from, const std::string& to) {
  return CopyFileW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(), TRUE) != FALSE;
}

// Whether `path` lies outside `folder` (which ends in a backslash).
bool LiesOutside(const std::string& path, const std::string& folder) {
  return path.rfind(folder, 0) != 0;
}

}  // namespace

// The build compiles the paths of the programs the tests start into this
// file.
std::string LauncherExePath() {
  return WindowsPathOf(HTA_LAUNCHER_EXE);
}

std::string ProxyPassExePath() {
  return WindowsPathOf(HTA_PROXYPASS_EXE);
}

std::string FakeOpenerExePath() {
  return WindowsPathOf(HTA_FAKE_OPENER_EXE);
}

// --- The lock.

RealLauncherLock::RealLauncherLock(DWORD timeoutMs)
    : mutex_(CreateMutexA(nullptr, FALSE, "Local\\HtaLauncherTests.RealLauncher")) {
  if (mutex_) {
    const DWORD waited = WaitForSingleObject(mutex_.get(), timeoutMs);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
}

RealLauncherLock::~RealLauncherLock() {
  if (held_) {
    ReleaseMutex(mutex_.get());
  }
}

// --- Windows of another process.

std::string WindowText(HWND window) {
  std::vector<char> buffer(4096, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
    return "<no answer>";
  }
  return std::string(buffer.data(), std::min<std::size_t>(copied, buffer.size() - 1));
}

std::vector<HWND> VisibleWindowsOf(DWORD processId, const char* className) {
  std::vector<HWND> found;
  for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, className, nullptr)) != nullptr;) {
    if (ProcessOf(window) == processId && IsWindowVisible(window)) {
      found.push_back(window);
    }
  }
  return found;
}

std::vector<MessageBoxSeen> MessageBoxesOf(DWORD processId) {
  std::vector<MessageBoxSeen> boxes;
  for (HWND window : VisibleWindowsOf(processId, kDialogClass)) {
    HWND text = GetDlgItem(window, kMessageBoxTextId);
    boxes.push_back({window, WindowText(window), text != nullptr ? WindowText(text) : "<no text control>"});
  }
  return boxes;
}

bool DismissMessageBox(HWND box, DWORD timeoutMs) {
  HWND ok = GetDlgItem(box, IDOK);
  if (!PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok))) {
    return false;
  }
  return WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, timeoutMs);
}

void PostClick(HWND window, POINT at) {
  const LPARAM where = MAKELPARAM(at.x, at.y);
  PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageA(window, WM_LBUTTONUP, 0, where);
}

HWND MainWindowOf(DWORD processId) {
  for (HWND window = nullptr;
       (window = FindWindowExA(nullptr, window, kMainWindowClass, nullptr)) != nullptr;) {
    if (ProcessOf(window) == processId) {
      return window;
    }
  }
  return nullptr;
}

// --- Registry.

namespace {

bool SetValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type, const void* data,
              DWORD size) {
  UniqueRegKey key;
  return RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                         key.receive(), nullptr) == ERROR_SUCCESS &&
         RegSetValueExA(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
             ERROR_SUCCESS;
}

bool SetText(HKEY root, const std::string& subKey, const std::string& name, const std::string& value) {
  return SetValue(root, subKey, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

// A REG_SZ value's text without its NUL; nullopt when the key or the value
// is missing or not a text. An empty `name` is the key's (default) value.
std::optional<std::string> TextOf(HKEY root, const std::string& subKey, const std::string& name) {
  DWORD size = 0;
  if (RegGetValueA(root, subKey.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::string text(size, '\0');
  if (RegGetValueA(root, subKey.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return text.substr(0, text.find('\0'));
}

bool KeyExists(HKEY root, const char* subKey) {
  UniqueRegKey key;
  return RegOpenKeyExA(root, subKey, 0, KEY_READ, key.receive()) == ERROR_SUCCESS;
}

// Removes a key with everything below it; a missing key is fine.
void DeleteTree(HKEY root, const char* subKey) {
  RegDeleteTreeA(root, subKey);
  RegDeleteKeyA(root, subKey);
}

}  // namespace

SavedRegistryValue::SavedRegistryValue(std::string subKey, std::string name)
    : subKey_(std::move(subKey)), name_(std::move(name)) {
  DWORD size = 0;
  if (RegGetValueA(HKEY_CURRENT_USER, subKey_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type_,
                   nullptr, &size) == ERROR_SUCCESS) {
    data_.resize(size);
    existed_ = RegGetValueA(HKEY_CURRENT_USER, subKey_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                            &type_, data_.data(), &size) == ERROR_SUCCESS;
    data_.resize(size);
  }
}

SavedRegistryValue::~SavedRegistryValue() {
  if (existed_) {
    SetValue(HKEY_CURRENT_USER, subKey_, name_, type_, data_.data(), static_cast<DWORD>(data_.size()));
  } else {
    DeleteRegistryValue(subKey_, name_);
  }
}

bool SetRegistryString(const std::string& subKey, const std::string& name, const std::string& value) {
  return SetText(HKEY_CURRENT_USER, subKey, name, value);
}

bool SetRegistryWideString(const std::string& subKey, const std::string& name, const std::string& value) {
  const std::wstring text = WideFromUtf8(value);
  UniqueRegKey key;
  return RegCreateKeyExW(HKEY_CURRENT_USER, WideFromUtf8(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_SET_VALUE, nullptr, key.receive(), nullptr) == ERROR_SUCCESS &&
         RegSetValueExW(key.get(), WideFromUtf8(name).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::optional<std::string> RegistryWideString(const std::string& subKey, const std::string& name) {
  const std::wstring wideKey = WideFromUtf8(subKey);
  const std::wstring wideName = WideFromUtf8(name);
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, wideKey.c_str(), wideName.c_str(), RRF_RT_REG_SZ, nullptr, nullptr,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  if (RegGetValueW(HKEY_CURRENT_USER, wideKey.c_str(), wideName.c_str(), RRF_RT_REG_SZ, nullptr, text.data(),
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return Utf8FromWide(text.substr(0, text.find(L'\0')));
}

bool SetRegistryDword(const std::string& subKey, const std::string& name, DWORD value) {
  return SetValue(HKEY_CURRENT_USER, subKey, name, REG_DWORD, &value, sizeof value);
}

std::optional<std::string> RegistryString(const std::string& subKey, const std::string& name) {
  return TextOf(HKEY_CURRENT_USER, subKey, name);
}

void DeleteRegistryValue(const std::string& subKey, const std::string& name) {
  UniqueRegKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_SET_VALUE, key.receive()) == ERROR_SUCCESS) {
    RegDeleteValueA(key.get(), name.c_str());
  }
}

FirstRunRegistry::FirstRunRegistry() : hadSettings_(KeyExists(HKEY_CURRENT_USER, kSettingsRoot)) {
  DeleteRegistryValue(kUserKey, "user");
  DeleteRegistryValue(kSettingsKey, "showPopups");
  DeleteRegistryValue(kBootParamsKey, "BootParams");
  DeleteRegistryValue(kRunKey, kRunValue);
}

FirstRunRegistry::~FirstRunRegistry() {
  // Runs before the saved values go back (members go after the body).
  if (!hadSettings_) {
    DeleteTree(HKEY_CURRENT_USER, kSettingsRoot);
  }
}

// --- The fake ".hta" opener.

FakeHtaAssociation::FakeHtaAssociation() {
  const std::string opener = FakeOpenerExePath();
  const std::optional<std::string> existing = TextOf(HKEY_CLASSES_ROOT, kExtensionKey, "");
  if (KeyExists(HKEY_CLASSES_ROOT, kExtensionKey) && existing != kProgId) {
    error_ = std::string("HKCR\\") + kExtensionKey + " exists already (\"" + existing.value_or("") +
             "\"): another program's association, left as it is";
    return;
  }
  // Ours from here on, including a key left by a test that was killed.
  ownsExtension_ = true;
  // "%*": the parameters exactly as ShellExecuteA got them (see the header).
  if (!SetText(HKEY_CLASSES_ROOT, kExtensionKey, "", kProgId) ||
      !SetText(HKEY_CLASSES_ROOT, kCommandKey, "", "\"" + opener + "\" \"%1\" %*")) {
    error_ = std::string("cannot register ") + opener + " for " + kExtensionKey + " in HKCR";
  }
}

FakeHtaAssociation::~FakeHtaAssociation() {
  // The ProgID is this driver's own name, and the extension's key ours.
  DeleteTree(HKEY_CLASSES_ROOT, kProgId);
  if (ownsExtension_) {
    DeleteTree(HKEY_CLASSES_ROOT, kExtensionKey);
  }
}

std::vector<FakeOpenerRun> FakeOpenerRuns(const std::string& recordPath) {
  std::vector<FakeOpenerRun> runs;
  const std::string bytes = ReadFileBytes(recordPath).value_or("");
  for (std::size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = bytes.substr(start, end - start);
    // The command line may hold a tab of its own; the folder cannot.
    const std::size_t tab = line.rfind('\t');
    runs.push_back({line.substr(0, tab), tab == std::string::npos ? "" : line.substr(tab + 1)});
  }
  return runs;
}

// --- Files.

std::optional<std::string> ReadFileBytes(const std::string& path) {
  return win32::Win32FileSystem().ReadAll(path);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  const std::unique_ptr<FileWriter> file = win32::Win32FileSystem().OpenForWrite(path, true);
  return file && file->Write(std::as_bytes(std::span(bytes.data(), bytes.size())));
}

void RemoveFolderTree(const std::string& base) {
  if (base.size() < 4) {
    return;  // never a drive's root
  }
  for (const FolderEntry& entry : EntriesOf(base)) {
    const std::wstring path = win32::FileCallPath(base + entry.name);
    if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      DeleteFileW(path.c_str());
    } else if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      RemoveDirectoryW(path.c_str());  // the link only
    } else {
      RemoveFolderTree(base + entry.name + "\\");
    }
  }
  RemoveDirectoryW(win32::FileCallPath(base).c_str());
}

bool PathExists(const std::string& path) {
  return GetFileAttributesW(win32::FileCallPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

ScratchFolder::ScratchFolder(const std::string& stem) {
  static std::atomic<int> counter{0};
  path_ = TempPath() + stem + "-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(counter.fetch_add(1)) + "-" + std::to_string(GetTickCount64()) + "\\";
  if (!MakeFolder(path_)) {
    path_.clear();
  }
}

// --- Child programs.

std::optional<std::string> RunForOutput(const std::string& commandLine, const std::string& input,
                                        DWORD& exitCode, DWORD timeoutMs) {
  static std::atomic<int> counter{0};
  const std::string stem = TempPath() + "hta-run-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(counter.fetch_add(1));
  const std::string inPath = stem + ".in";
  const std::string outPath = stem + ".out";
  if (!WriteFileBytes(inPath, input)) {
    return std::nullopt;
  }
  std::optional<std::string> output;
  {
    // Only these two handles are inheritable, and only they are handed on.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueHandle in(CreateFileW(WideFromUtf8(inPath).c_str(), GENERIC_READ, FILE_SHARE_READ, &inheritable,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    UniqueHandle out(CreateFileW(WideFromUtf8(outPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (in && out) {
      STARTUPINFOA startup{};
      startup.cb = sizeof startup;
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = in.get();
      startup.hStdOutput = out.get();
      startup.hStdError = out.get();
      PROCESS_INFORMATION info{};
      std::string line = commandLine;
      if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                         &startup, &info)) {
        UniqueHandle process(info.hProcess);
        UniqueHandle thread(info.hThread);
        if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(process.get(), &exitCode)) {
          out.reset();
          output = ReadFileBytes(outPath);
        } else {
          TerminateProcess(process.get(), 99);
          WaitForSingleObject(process.get(), kMessageTimeoutMs);
        }
      }
    }
  }
  DeleteFileW(WideFromUtf8(inPath).c_str());
  DeleteFileW(WideFromUtf8(outPath).c_str());
  return output;
}

// --- The driver.

LauncherDriver::LauncherDriver(std::string exePath) {
  static std::atomic<int> counter{0};
  rootFolder_ = TempPath() + "hta-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount64()) + "-" + std::to_string(counter.fetch_add(1)) + "\\";
  localAppData_ = rootFolder_ + "temp\\";
  tempFolder_ = localAppData_;
  if (exePath.empty()) {
    exeFolder_ = rootFolder_ + "app\\";
    exePath_ = exeFolder_ + "HtaLauncher.exe";
  } else {
    exePath_ = std::move(exePath);
    exeFolder_ = exePath_.substr(0, exePath_.find_last_of('\\') + 1);
  }
  const std::string source = LauncherExePath();
  if (source.empty()) {
    error_ = "the build did not say where HtaLauncher.exe is";
    return;
  }
  if (!MakeFolder(rootFolder_) || !MakeFolder(localAppData_) ||
      (!LiesOutside(exePath_, rootFolder_) && !MakeFolder(exeFolder_))) {
    error_ = "cannot make the folders under " + rootFolder_ + ", error " + std::to_string(GetLastError());
    return;
  }
  // Never over another file: the copy is deleted at the end.
  if (!CopyNew(source, exePath_)) {
    error_ = "cannot copy " + source + " to " + exePath_ + ", error " + std::to_string(GetLastError());
    return;
  }
  ownExeElsewhere_ = LiesOutside(exePath_, rootFolder_);
}

LauncherDriver::~LauncherDriver() {
  Kill();
  // The process has ended, but Windows may hold the exe's image a moment
  // longer; try the removal a few times.
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (ownExeElsewhere_ && DeleteFileW(WideFromUtf8(exePath_).c_str())) {
      ownExeElsewhere_ = false;
    }
    RemoveFolderTree(rootFolder_);
    if (!ownExeElsewhere_ && !PathExists(rootFolder_)) {
      break;
    }
    Sleep(50);
  }
}

std::vector<std::string> LauncherDriver::AppFolderFiles() const {
  std::vector<std::string> names;
  for (const FolderEntry& entry : EntriesOf(AppFolder())) {
    names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string LauncherDriver::RecordFakeOpenerRuns() {
  // Beside the launcher's folders: removed with them at the end.
  openerRecord_ = rootFolder_ + "fake-opener-runs.txt";
  return openerRecord_;
}

bool LauncherDriver::PlantDlls(const std::vector<std::string>& names) {
  const std::string program = exePath_.substr(exePath_.find_last_of('\\') + 1);
  const std::string overridesKey = "Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides";
  for (const std::string& name : names) {
    const std::string planted = WindowsPathOf(HTA_PLANTED_DLL_DIR "/" + name + ".dll");
    if (!CopyNew(planted, exeFolder_ + name + ".dll")) {
      return false;
    }
    dllOverrides_.push_back(std::make_unique<SavedRegistryValue>(overridesKey, name));
    if (!SetRegistryString(overridesKey, name, "native,builtin")) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> LauncherDriver::LoadedPlantedDlls() const {
  std::vector<std::string> loaded;
  for (const FolderEntry& entry : EntriesOf(exeFolder_)) {
    const std::string& name = entry.name;
    if (name.size() > 7 && name.substr(name.size() - 7) == ".loaded") {
      loaded.push_back(name.substr(0, name.size() - 7));
    }
  }
  return loaded;
}

bool LauncherDriver::Start(const std::vector<std::string>& arguments, std::string& error) {
  if (!Ready()) {
    error = error_;
    return false;
  }
  if (Running()) {
    error = "a launcher of this driver runs already";
    return false;
  }
  std::string commandLine = "\"" + exePath_ + "\"";
  for (const std::string& argument : arguments) {
    commandLine += " \"" + argument + "\"";
  }
  return StartCommandLine(commandLine, error);
}

bool LauncherDriver::StartCommandLine(const std::string& commandLine, std::string& error) {
  if (Running()) {
    error = "a launcher of this driver runs already";
    return false;
  }
  std::wstring environment = EnvironmentWithTemp(tempFolder_, localAppData_, openerRecord_);
  std::wstring wideCommandLine = WideFromUtf8(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // The launcher's own folder as its working folder, not the test's.
  if (!CreateProcessW(nullptr, wideCommandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      environment.data(), WideFromUtf8(exeFolder_).c_str(), &startup, &info)) {
    error = "CreateProcessW(" + commandLine + ") failed, error " + std::to_string(GetLastError());
    return false;
  }
  started_.Restart();
  process_.reset(info.hProcess);
  UniqueHandle thread(info.hThread);
  processId_ = info.dwProcessId;
  return true;
}

bool LauncherDriver::Running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> LauncherDriver::WaitForExit(DWORD timeoutMs) {
  if (!process_ || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.get(), &code)) {
    return std::nullopt;
  }
  return code;
}

void LauncherDriver::Kill() {
  if (Running()) {
    TerminateProcess(process_.get(), 99);
  }
  if (process_) {
    WaitForSingleObject(process_.get(), kMessageTimeoutMs);
  }
}

double LauncherDriver::MillisecondsSinceStart() const {
  return started_.Milliseconds();
}

HWND LauncherDriver::WaitForMainWindow(DWORD timeoutMs, bool visible) {
  HWND found = nullptr;
  const auto ready = [&] { return found != nullptr && (!visible || IsWindowVisible(found)); };
  WaitUntil([&] { return (found = MainWindowOf(processId_), ready()) || !Running(); }, timeoutMs);
  return ready() ? found : nullptr;
}

bool LauncherDriver::WaitForTray(DWORD timeoutMs, double* reachedMs) {
  constexpr ULONGLONG kSteadyMs = 150;
  ULONGLONG since = 0;  // tick count when the state was first seen, 0: not in it
  double firstSeen = 0;
  return WaitUntil(
      [&] {
        HWND window = MainWindowOf(processId_);
        if (window == nullptr || IsWindowVisible(window) || !IsIconic(window)) {
          since = 0;
          return false;
        }
        const ULONGLONG now = GetTickCount64();
        if (since == 0) {
          since = now;
          firstSeen = MillisecondsSinceStart();
        }
        if (now - since < kSteadyMs) {
          return false;
        }
        if (reachedMs != nullptr) {
          *reachedMs = firstSeen;
        }
        return true;
      },
      timeoutMs);
}

std::optional<MessageBoxSeen> LauncherDriver::WaitForMessageBox(DWORD timeoutMs) {
  std::vector<MessageBoxSeen> boxes;
  WaitUntil([&] { return !(boxes = MessageBoxesOf(processId_)).empty() || !Running(); }, timeoutMs);
  return boxes.empty() ? std::nullopt : std::optional<MessageBoxSeen>(boxes.front());
}

bool LauncherDriver::ChooseFromTrayMenu(UINT message, WPARAM key, DWORD timeoutMs) {
  HWND window = MainWindowOf(processId_);
  std::vector<HWND> menus;
  const auto menusNow = [&] { return !(menus = VisibleWindowsOf(processId_, kMenuClass)).empty(); };
  return window != nullptr &&
         PostMessageA(window, win32::MainWindow::kTrayMessage, kTrayIconId, WM_RBUTTONUP) &&
         WaitUntil(menusNow, timeoutMs) && PostMessageA(menus.front(), message, key, 0) &&
         WaitUntil([&] { return !menusNow(); }, timeoutMs);
}

std::optional<double> LauncherDriver::TimeExit(ExitBy how, DWORD timeoutMs) {
  const Stopwatch asked;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  if (how == ExitBy::TrayMenu) {
    if (!ChooseFromTrayMenu(WM_CHAR, 'x', timeoutMs)) {
      return std::nullopt;
    }
  } else {
    HWND window = MainWindowOf(processId_);
    if (window == nullptr || !PostMessageA(window, WM_CLOSE, 0, 0)) {
      return std::nullopt;
    }
  }
  const ULONGLONG now = GetTickCount64();
  if (!WaitForExit(now < deadline ? static_cast<DWORD>(deadline - now) : 0)) {
    return std::nullopt;
  }
  return asked.Milliseconds();
}

}  // namespace hta::wintest
