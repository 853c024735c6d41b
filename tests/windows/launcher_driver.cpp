#include "launcher_driver.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "win32/win32_registry.h"

namespace hta::wintest {
namespace {

using win32::UniqueHandle;
using win32::UniqueRegKey;

constexpr DWORD kMessageTimeoutMs = 5000;
constexpr const char* kMainWindowClass = "HtaLauncherMainWindow";
constexpr const char* kDialogClass = "#32770";
// The static control of a message box that holds its text.
constexpr int kMessageBoxTextId = 0xFFFF;

std::string WindowsPathOf(std::string path) {
  if (!path.empty() && path[0] == '/') {
    std::replace(path.begin(), path.end(), '/', '\\');
    path = "Z:" + path;
  }
  return path;
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

DWORD ProcessOf(HWND window) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner;
}

std::string TempPath() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof buffer, buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string("C:\\");
}

// An argument quoted the way the C runtime splits it again: backslashes
// before a quote doubled, quotes escaped.
std::string Quoted(const std::string& argument) {
  std::string out = "\"";
  std::size_t slashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    if (c == '"') {
      out.append(slashes * 2 + 1, '\\');
    } else {
      out.append(slashes, '\\');
    }
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, '\\');
  return out + "\"";
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

using Variable = std::pair<std::string, std::string>;

// A copy of this process's environment with TEMP and TMP naming `temp` and
// the `extra` variables set, as the block CreateProcessA takes: NAME=VALUE
// strings, each ending in a NUL, and one more NUL at the end.
std::string EnvironmentWithTemp(const std::string& temp, const std::vector<Variable>& extra) {
  std::vector<std::string> entries;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1) {
      const std::string entry = p;
      const std::size_t equals = entry.find('=', 1);  // "=C:=C:\..." names start with "="
      const std::string name = entry.substr(0, equals);
      const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const Variable& variable) {
        return EqualsIgnoringCase(name, variable.first);
      });
      if (!EqualsIgnoringCase(name, "TEMP") && !EqualsIgnoringCase(name, "TMP") && !replaced) {
        entries.push_back(entry);
      }
    }
    FreeEnvironmentStringsA(block);
  }
  for (const Variable& variable : extra) {
    entries.push_back(variable.first + "=" + variable.second);
  }
  // GetTempPathA wants no trailing backslash in the variable, and adds one.
  std::string value = temp;
  if (value.size() > 3 && value.back() == '\\') {
    value.pop_back();
  }
  entries.push_back("TEMP=" + value);
  entries.push_back("TMP=" + value);
  // Windows keeps the block sorted by name, without regard to case.
  std::sort(entries.begin(), entries.end(),
            [](const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; });
  std::string block;
  for (const std::string& entry : entries) {
    block += entry;
    block += '\0';
  }
  block += '\0';
  return block;
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

std::vector<MessageBoxSeen> MessageBoxesOf(DWORD processId) {
  struct Search {
    DWORD processId;
    std::vector<HWND> found;
  } search{processId, {}};
  EnumWindows(
      [](HWND window, LPARAM context) {
        auto* s = reinterpret_cast<Search*>(context);
        if (ProcessOf(window) == s->processId && IsWindowVisible(window) && ClassOf(window) == kDialogClass) {
          s->found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  std::vector<MessageBoxSeen> boxes;
  for (HWND window : search.found) {
    MessageBoxSeen box;
    box.window = window;
    box.caption = WindowText(window);
    HWND text = GetDlgItem(window, kMessageBoxTextId);
    box.text = text != nullptr ? WindowText(text) : std::string("<no text control>");
    boxes.push_back(std::move(box));
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

HWND MainWindowOf(DWORD processId) {
  HWND window = nullptr;
  while ((window = FindWindowExA(nullptr, window, kMainWindowClass, nullptr)) != nullptr) {
    if (ProcessOf(window) == processId) {
      return window;
    }
  }
  return nullptr;
}

// --- Registry.

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
  if (!existed_) {
    DeleteRegistryValue(subKey_, name_);
    return;
  }
  UniqueRegKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, key.receive(), nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(key.get(), name_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
  }
}

bool SetRegistryString(const std::string& subKey, const std::string& name, const std::string& value) {
  UniqueRegKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool SetRegistryDword(const std::string& subKey, const std::string& name, DWORD value) {
  UniqueRegKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value) == ERROR_SUCCESS;
}

namespace {

// A REG_SZ value's text without its NUL; nullopt when the key or the value
// is missing or not a text. A null `name` is the key's (default) value.
std::optional<std::string> RegistryText(HKEY root, const std::string& subKey, const char* name) {
  DWORD size = 0;
  if (RegGetValueA(root, subKey.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::string text(size, '\0');
  if (RegGetValueA(root, subKey.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  text.resize(size);
  const std::size_t end = text.find('\0');
  if (end != std::string::npos) {
    text.resize(end);
  }
  return text;
}

}  // namespace

std::optional<std::string> RegistryString(const std::string& subKey, const std::string& name) {
  return RegistryText(HKEY_CURRENT_USER, subKey, name.c_str());
}

bool RegistryValueExists(const std::string& subKey, const std::string& name) {
  return RegGetValueA(HKEY_CURRENT_USER, subKey.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr,
                      nullptr) == ERROR_SUCCESS;
}

void DeleteRegistryValue(const std::string& subKey, const std::string& name) {
  UniqueRegKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_SET_VALUE, key.receive()) == ERROR_SUCCESS) {
    RegDeleteValueA(key.get(), name.c_str());
  }
}

void DeleteRegistryTree(const std::string& subKey) {
  RegDeleteTreeA(HKEY_CURRENT_USER, subKey.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, subKey.c_str());
}

bool RegistryKeyExists(const std::string& subKey) {
  UniqueRegKey key;
  return RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, key.receive()) == ERROR_SUCCESS;
}

FirstRunRegistry::FirstRunRegistry() : hadSettings_(RegistryKeyExists(kSettingsRoot)) {
  DeleteRegistryValue(kUserKey, "user");
  DeleteRegistryValue(kSettingsKey, "showPopups");
  DeleteRegistryValue(kBootParamsKey, "BootParams");
  DeleteRegistryValue(kRunKey, kRunValue);
}

FirstRunRegistry::~FirstRunRegistry() {
  // Runs before the saved values go back (members go after the body).
  if (!hadSettings_) {
    DeleteRegistryTree(kSettingsRoot);
  }
}

// --- The fake ".hta" opener.

namespace {

bool ClassesKeyExists(const std::string& subKey) {
  UniqueRegKey key;
  return RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, key.receive()) == ERROR_SUCCESS;
}

// Creates HKCR\`subKey` (and the keys above it) if needed and sets its
// (default) value; the Windows error code, ERROR_SUCCESS when done.
LSTATUS SetClassesDefault(const std::string& subKey, const std::string& value) {
  UniqueRegKey key;
  LSTATUS status = RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_SET_VALUE, nullptr, key.receive(), nullptr);
  if (status != ERROR_SUCCESS) {
    return status;
  }
  return RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
}

}  // namespace

FakeHtaAssociation::FakeHtaAssociation() {
  const std::string opener = FakeOpenerExePath();
  if (opener.empty()) {
    error_ = "the build did not say where hta-fake-opener.exe is";
    return;
  }
  // "%*": the parameters exactly as ShellExecuteA got them (see the header).
  command_ = "\"" + opener + "\" \"%1\" %*";
  const std::optional<std::string> existing = RegistryText(HKEY_CLASSES_ROOT, kExtensionKey, nullptr);
  if (ClassesKeyExists(kExtensionKey) && existing != kProgId) {
    error_ = std::string("HKCR\\") + kExtensionKey + " exists already (\"" + existing.value_or("") +
             "\"): another program's association, left as it is";
    return;
  }
  // Ours from here on, including a key left by a test that was killed.
  ownsExtension_ = true;
  if (const LSTATUS status = SetClassesDefault(kExtensionKey, kProgId); status != ERROR_SUCCESS) {
    error_ = std::string("cannot set HKCR\\") + kExtensionKey + ", error " + std::to_string(status);
    return;
  }
  if (const LSTATUS status = SetClassesDefault(kCommandKey, command_); status != ERROR_SUCCESS) {
    error_ = std::string("cannot set HKCR\\") + kCommandKey + ", error " + std::to_string(status);
  }
}

FakeHtaAssociation::~FakeHtaAssociation() {
  // The ProgID is this driver's own name: all of it goes.
  RegDeleteTreeA(HKEY_CLASSES_ROOT, kProgId);
  RegDeleteKeyA(HKEY_CLASSES_ROOT, kProgId);
  if (ownsExtension_ && RegDeleteKeyA(HKEY_CLASSES_ROOT, kExtensionKey) != ERROR_SUCCESS) {
    // Something put a key below it meanwhile: at least our value goes.
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kExtensionKey, 0, KEY_SET_VALUE, key.receive()) == ERROR_SUCCESS) {
      RegDeleteValueA(key.get(), nullptr);
    }
  }
}

std::vector<FakeOpenerRun> FakeOpenerRuns(const std::string& recordPath) {
  std::vector<FakeOpenerRun> runs;
  const std::optional<std::string> bytes = ReadFileBytes(recordPath);
  if (!bytes) {
    return runs;
  }
  std::size_t start = 0;
  for (std::size_t end; (end = bytes->find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = bytes->substr(start, end - start);
    // The command line may hold a tab of its own; the folder cannot.
    const std::size_t tab = line.rfind('\t');
    FakeOpenerRun run;
    run.commandLine = line.substr(0, tab);
    run.currentFolder = tab == std::string::npos ? std::string() : line.substr(tab + 1);
    runs.push_back(std::move(run));
  }
  return runs;
}

// --- Files.

std::optional<std::string> ReadFileBytes(const std::string& path) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return std::nullopt;
  }
  std::string bytes;
  char buffer[8192];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  UniqueHandle file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

void RemoveFolderTree(const std::string& folder) {
  if (folder.size() < 4) {
    return;  // never a drive's root
  }
  std::string base = folder;
  if (base.back() != '\\') {
    base += '\\';
  }
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((base + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") {
        continue;
      }
      const std::string path = base + name;
      const DWORD attributes = found.dwFileAttributes;
      if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
      }
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveFolderTree(path);
      } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryA(path.c_str());  // the link only
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(base.c_str());
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
    UniqueHandle in(CreateFileA(inPath.c_str(), GENERIC_READ, FILE_SHARE_READ, &inheritable, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    UniqueHandle out(CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
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
  DeleteFileA(inPath.c_str());
  DeleteFileA(outPath.c_str());
  return output;
}

// --- The driver.

LauncherDriver::LauncherDriver(std::string exePath) {
  static std::atomic<int> counter{0};
  rootFolder_ = TempPath() + "hta-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount64()) + "-" + std::to_string(counter.fetch_add(1)) + "\\";
  tempFolder_ = rootFolder_ + "temp\\";
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
  if (!CreateDirectoryA(rootFolder_.c_str(), nullptr) || !CreateDirectoryA(tempFolder_.c_str(), nullptr) ||
      (!LiesOutside(exePath_, rootFolder_) && !CreateDirectoryA(exeFolder_.c_str(), nullptr))) {
    error_ = "cannot make the folders under " + rootFolder_ + ", error " + std::to_string(GetLastError());
    return;
  }
  // Never over another file: the copy is deleted at the end.
  if (!CopyFileA(source.c_str(), exePath_.c_str(), TRUE)) {
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
    if (ownExeElsewhere_ && DeleteFileA(exePath_.c_str())) {
      ownExeElsewhere_ = false;
    }
    RemoveFolderTree(rootFolder_);
    if (!ownExeElsewhere_ && GetFileAttributesA(rootFolder_.c_str()) == INVALID_FILE_ATTRIBUTES) {
      break;
    }
    Sleep(50);
  }
}

std::string LauncherDriver::IniPath() const {
  return exeFolder_ + "HtaLauncher.ini";
}

std::vector<std::string> LauncherDriver::AppFolderFiles() const {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((AppFolder() + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") {
      names.push_back(name);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::string LauncherDriver::RecordFakeOpenerRuns() {
  // Beside the launcher's folders: removed with them at the end.
  openerRecord_ = rootFolder_ + "fake-opener-runs.txt";
  return openerRecord_;
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
  std::string commandLine = Quoted(exePath_);
  for (const std::string& argument : arguments) {
    commandLine += " " + Quoted(argument);
  }
  std::vector<Variable> extra;
  if (!openerRecord_.empty()) {
    extra.emplace_back(kFakeOpenerRecordVariable, openerRecord_);
  }
  std::string environment = EnvironmentWithTemp(tempFolder_, extra);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // The launcher's own folder as its working folder, not the test's.
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, environment.data(),
                      exeFolder_.c_str(), &startup, &info)) {
    error = "CreateProcessA(" + commandLine + ") failed, error " + std::to_string(GetLastError());
    return false;
  }
  QueryPerformanceCounter(&started_);
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
  LARGE_INTEGER now{}, frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart - started_.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

HWND LauncherDriver::WaitForMainWindow(DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = MainWindowOf(processId_)) != nullptr || !Running(); }, timeoutMs);
  return found;
}

HWND LauncherDriver::WaitForVisibleMainWindow(DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = MainWindowOf(processId_);
        return (found != nullptr && IsWindowVisible(found)) || !Running();
      },
      timeoutMs);
  return found != nullptr && IsWindowVisible(found) ? found : nullptr;
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
  std::optional<MessageBoxSeen> box;
  WaitUntil(
      [&] {
        std::vector<MessageBoxSeen> boxes = MessageBoxesOf(processId_);
        if (!boxes.empty()) {
          box = std::move(boxes.front());
          return true;
        }
        return !Running();
      },
      timeoutMs);
  return box;
}

}  // namespace hta::wintest
