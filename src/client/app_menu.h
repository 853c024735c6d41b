#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "client/replace_file.h"
#include "common/menu_entries.h"
#include "ports/file_system.h"
#include "ports/main_window.h"
#include "ports/shell_open.h"
#include "session/session_state.h"

namespace hta {

// Between the file name and the launch parameters in a menu entry's tag.
inline constexpr std::string_view kTagSeparator = "@@@";

// What a menu entry's tag says to open: the text before the first
// separator and the text between the first and the second. nullopt when the
// tag holds no separator (an entry no login has filled). Parameters that
// themselves contain the separator lose everything from it on.
struct TagParts {
  std::string fileName;
  std::string parameters;
};
std::optional<TagParts> SplitTag(std::string_view tag);

// The type of file the launcher lets the shell open: an HTML application.
inline constexpr std::string_view kApplicationExtension = ".hta";

// Whether the shell takes `path` (UTF-8): fewer than 260 UTF-16 units
// (MAX_PATH with its NUL). It knows no longer paths, and might cut one into
// the name of another file.
inline constexpr std::size_t kLongestShellPath = 259;
bool FitsShellPath(std::string_view path);

// Asks the shell to open `path` (UTF-8) with `parameters` (ANSI, as the
// server sent them; "open", working folder "C:\", shown normally). Both go
// to the shell exactly as given; the result is not examined, as there is
// nobody to tell about a failed start. A path the shell does not take
// (FitsShellPath) is refused with a log line.
//
// Every shell start of the launcher goes through here (menu entries, the
// main application, launch actions, popup links), and here alone is decided
// what may be opened: only a file whose name (the part after the last "\"
// or "/") is a plain file name (IsPlainFileName) ending in ".hta" in any
// letter case. The shell would run anything else the server named (".exe",
// ".cmd", ".lnk", ".js" ...); such a path is silently not opened.
void LaunchFile(ShellOpen& shellOpen, const std::string& path, const std::string& parameters);

// The rule LaunchFile applies: whether the shell may be asked to open `path`.
bool IsLaunchablePath(std::string_view path);

// Beside the target, and not the ".temp" of the background fetch, so a
// download at login and a fetch of the same file never share a file.
inline constexpr std::string_view kNewVersionSuffix = ".new";

// Writes `bytes` as the new contents of `target` without ever leaving a
// damaged file there: the bytes go into a file beside it (the target's name
// and kNewVersionSuffix), which replaces the target only once it is
// completely written and closed. When the new contents could not be written
// or put in place, the target is as it was and the ".new" file is gone.
Replacement WriteNewVersion(FileSystem& files, const std::string& target, std::string_view bytes);

// The application menu: ten entries, each with a caption, a
// visibility and a tag. The view shows captions and visibility; the tags,
// and what is visible, are kept here, as the view cannot be asked.
//
// The entries start as the window creates them: "Start application 1" to
// "Start application 10", the first five visible, every tag empty.
class AppMenu {
 public:
  // The ports and the state are borrowed and must outlive the menu.
  AppMenu(MainWindowView& view, ShellOpen& shellOpen, FileSystem& files, const SessionState& state);

  // Before a login reply is read: every entry empty and hidden.
  void Reset();

  // Makes entry `number` visible with the caption, and records the file name
  // and the parameters in its tag. A number outside 1 to 10 changes nothing.
  void FillMenuEntry(int number, const std::string& caption, const std::string& fileName,
                     const std::string& parameters);

  // Opens the application of entry `index` (MenuEntryChosen): the application
  // folder and the tag's file name, with the tag's parameters, whether or
  // not the file is there. Nothing happens for an index outside 1 to 10, a
  // tag without separator, or a file name that does not name a plain file
  // in the application folder or that LaunchFile does not open (the entry
  // stays as the server sent it).
  void OpenEntry(int index);

  // An index outside 1 to 10 is invisible, with an empty caption and tag.
  bool Visible(int index) const;
  std::string Caption(int index) const;
  std::string Tag(int index) const;

 private:
  struct Entry {
    std::string caption;
    std::string tag;
    bool visible = false;
  };

  static bool ValidIndex(int index) { return index >= 1 && index <= kAppMenuEntries; }

  MainWindowView& view_;
  ShellOpen& shellOpen_;
  FileSystem& files_;
  const SessionState& state_;
  std::array<Entry, kAppMenuEntries> entries_;
};

}  // namespace hta
