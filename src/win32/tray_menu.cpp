#include "win32/tray_menu.h"

#include "win32/resource_ids.h"

namespace hta::win32 {
namespace {

bool ValidIndex(int index) {
  return index >= 1 && index <= TrayMenuModel::kAppCount;
}

}  // namespace

TrayMenuModel::TrayMenuModel() {
  for (int i = 1; i <= kAppCount; ++i) {
    apps_[i - 1].caption = "Start application " + std::to_string(i);
    apps_[i - 1].visible = i <= 5;
  }
}

void TrayMenuModel::SetApp(int index, const std::string& caption, bool visible) {
  if (!ValidIndex(index)) {
    return;
  }
  apps_[index - 1].caption = caption;
  apps_[index - 1].visible = visible;
}

std::string TrayMenuModel::AppCaption(int index) const {
  return ValidIndex(index) ? apps_[index - 1].caption : std::string();
}

bool TrayMenuModel::AppVisible(int index) const {
  return ValidIndex(index) && apps_[index - 1].visible;
}

OwnedMenu TrayMenuModel::Build() const {
  OwnedMenu menu(CreatePopupMenu());
  if (!menu) {
    return menu;
  }
  HMENU m = menu.get();
  for (int i = 1; i <= kAppCount; ++i) {
    if (apps_[i - 1].visible) {
      // The captions come from the server's reply; an "&" in them only
      // makes a mnemonic, AppendMenuA never reads them as a format.
      AppendMenuA(m, MF_STRING, IDM_APP_FIRST + i - 1, apps_[i - 1].caption.c_str());
    }
  }
  AppendMenuA(m, MF_SEPARATOR, 0, nullptr);  // below the applications
  if (showVisible_) {
    AppendMenuA(m, MF_STRING, IDM_SHOW, "Set &user string...");
  }
  if (hideVisible_) {
    AppendMenuA(m, MF_STRING, IDM_HIDE, "&Hide");
  }
  if (separator2Visible_) {
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
  }
  AppendMenuA(m, MF_STRING | (showPopupsChecked_ ? MF_CHECKED : MF_UNCHECKED), IDM_SHOW_POPUPS,
              "Show &popup messages");
  AppendMenuA(m, MF_STRING, IDM_EXIT, "E&xit");
  return menu;
}

TrayMenuModel::Choice TrayMenuModel::Decode(UINT commandId) {
  if (commandId >= IDM_APP_FIRST && commandId <= IDM_APP_LAST) {
    return {Command::App, static_cast<int>(commandId - IDM_APP_FIRST) + 1};
  }
  switch (commandId) {
    case IDM_SHOW_POPUPS:
      return {Command::ShowPopups, 0};
    case IDM_EXIT:
      return {Command::Exit, 0};
    default:
      return {};
  }
}

}  // namespace hta::win32
