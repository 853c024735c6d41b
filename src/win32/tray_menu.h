#pragma once

#include <array>
#include <optional>
#include <string>

#include "common/menu_entries.h"
#include "win32/handles.h"

namespace hta::win32 {

// The tray menu as a model: every entry with its caption,
// visibility and check mark. A Win32 menu cannot hold a hidden item, so the
// popup menu is built from the visible entries each time it is shown.
class TrayMenuModel {
 public:
  static constexpr int kAppCount = kAppMenuEntries;

  enum class Command { None, App, ShowPopups, Exit };
  struct Choice {
    Command command = Command::None;
    int appIndex = 0;  // 1 to 10 for Command::App
  };

  TrayMenuModel();

  // `index` 1 to 10; other indexes are ignored.
  void SetApp(int index, const std::string& caption, bool visible);
  std::string AppCaption(int index) const;
  bool AppVisible(int index) const;

  void SetShowPopupsChecked(bool checked) { showPopupsChecked_ = checked; }
  bool ShowPopupsChecked() const { return showPopupsChecked_; }

  // A popup menu of the visible entries, or an empty handle when Windows
  // could not make one.
  OwnedMenu Build() const;

  // What the command ID that a built menu returned stands for.
  static Choice Decode(UINT commandId);

 private:
  struct App {
    std::string caption;
    bool visible = false;
  };
  std::array<App, kAppCount> apps_;
  // "Set user string...", "Hide" and the second separator exist but start hidden, and nothing
  // in the program shows them.
  bool showVisible_ = false;
  bool hideVisible_ = false;
  bool separator2Visible_ = false;
  bool showPopupsChecked_ = true;
};

}  // namespace hta::win32
