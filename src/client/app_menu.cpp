#include "client/app_menu.h"

#include <cstddef>
#include <memory>
#include <span>

#include "client/file_names.h"
#include "client/replace_file.h"
#include "common/ascii.h"
#include "ports/log.h"

namespace hta {
namespace {

// The working folder of every launch, as the back office's applications
// have always been started.
constexpr const char* kLaunchFolder = "C:\\";
constexpr const char* kLaunchVerb = "open";
constexpr int kShowNormal = 1;  // SW_SHOWNORMAL

std::span<const std::byte> AsBytes(std::string_view text) {
  return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

}  // namespace

std::optional<TagParts> SplitTag(std::string_view tag) {
  const std::size_t first = tag.find(kTagSeparator);
  if (first == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view rest = tag.substr(first + kTagSeparator.size());
  TagParts parts;
  parts.fileName = std::string(tag.substr(0, first));
  parts.parameters = std::string(rest.substr(0, rest.find(kTagSeparator)));
  return parts;
}

bool IsLaunchablePath(std::string_view path) {
  const std::size_t folderEnd = path.find_last_of("\\/");
  const std::string_view name = folderEnd == std::string_view::npos ? path : path.substr(folderEnd + 1);
  // The plain-name rule also refuses names that Windows reads as something
  // else than they end in: "x.cmd:a.hta" (a stream of x.cmd), "x.hta. "
  // (trailing dots and blanks are stripped), "nul.hta" (a device).
  return IsPlainFileName(name) && EndsWithIgnoringCase(name, kApplicationExtension);
}

bool FitsShellPath(std::string_view path) {
  std::size_t units = 0;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    // One unit a character, two for one beyond the first plane (a four-byte
    // sequence); continuation bytes add nothing.
    units += (byte & 0xC0) == 0x80 ? 0 : (byte >= 0xF0 ? 2 : 1);
  }
  return units <= kLongestShellPath;
}

void LaunchFile(ShellOpen& shellOpen, const std::string& path, const std::string& parameters) {
  const std::string name = path.substr(path.find_last_of("\\/") + 1);
  if (!IsLaunchablePath(path)) {
    LogInfo("Launch refused: " + name + ": not a plain .hta file name");
    return;
  }
  if (!FitsShellPath(path)) {
    LogInfo("Launch refused: " + name + ": the path is too long");
    return;
  }
  LogInfo("Launch: " + std::string(name));
  shellOpen.Execute(kLaunchVerb, path, parameters, kLaunchFolder, kShowNormal);
}

Replacement WriteNewVersion(FileSystem& files, const std::string& target, std::string_view bytes) {
  const std::string partial = target + std::string(kNewVersionSuffix);
  bool written = false;
  {
    std::unique_ptr<FileWriter> writer = files.OpenForWrite(partial, true);
    written = writer && writer->Write(AsBytes(bytes));
  }  // Closed here: only a closed file is moved into place.
  if (!written) {
    // Whatever made it fail (a full disk, a read-only folder), the part
    // written so far would only take room until the next start.
    const Replacement failed{Replacement::Outcome::NotWritten, files.LastFailure()};
    files.RemoveFile(partial);
    return failed;
  }
  return ReplaceFileWith(files, partial, target);
}

AppMenu::AppMenu(MainWindowView& view, ShellOpen& shellOpen, FileSystem& files, const SessionState& state)
    : view_(view), shellOpen_(shellOpen), files_(files), state_(state) {
  for (int index = 1; index <= kAppMenuEntries; ++index) {
    Entry& entry = entries_[static_cast<std::size_t>(index - 1)];
    entry.caption = "Start application " + std::to_string(index);
    entry.visible = index <= 5;
  }
}

void AppMenu::Reset() {
  for (int index = 1; index <= kAppMenuEntries; ++index) {
    entries_[static_cast<std::size_t>(index - 1)] = Entry{};
    view_.SetAppEntry(index, std::string(), false);
  }
}

void AppMenu::FillMenuEntry(int number, const std::string& caption, const std::string& fileName,
                            const std::string& parameters) {
  if (!ValidIndex(number)) {
    return;
  }
  Entry& entry = entries_[static_cast<std::size_t>(number - 1)];
  entry.visible = true;
  entry.caption = caption;
  entry.tag = fileName + std::string(kTagSeparator) + parameters;
  view_.SetAppEntry(number, caption, true);
}

void AppMenu::OpenEntry(int index) {
  if (!ValidIndex(index)) {
    return;
  }
  const std::optional<TagParts> parts = SplitTag(entries_[static_cast<std::size_t>(index - 1)].tag);
  if (!parts || !IsPlainFileName(parts->fileName)) {
    return;
  }
  // The name is confined as the server sent it, then made a path.
  LaunchFile(shellOpen_, state_.htaFolder + files_.PathFromAnsi(parts->fileName), parts->parameters);
}

bool AppMenu::Visible(int index) const {
  return ValidIndex(index) && entries_[static_cast<std::size_t>(index - 1)].visible;
}

std::string AppMenu::Caption(int index) const {
  return ValidIndex(index) ? entries_[static_cast<std::size_t>(index - 1)].caption : std::string();
}

std::string AppMenu::Tag(int index) const {
  return ValidIndex(index) ? entries_[static_cast<std::size_t>(index - 1)].tag : std::string();
}

}  // namespace hta
