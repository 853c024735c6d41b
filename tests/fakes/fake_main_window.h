#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "ports/main_window.h"

namespace hta::fakes {

// The main window as a record: every call that changes what the user sees
// is one line ("ArmTimer 60000", "SetStatusText text", "Close"), in order;
// the state the reading calls answer from starts as the real window is
// created (popups checked, buttons enabled). Calls after Close, which the
// real window would no longer take, go to `problems`.
class FakeMainWindow final : public MainWindowView {
 public:
  void SetVersionText(const std::string& text) override { Record("SetVersionText " + text); }
  void SetStatusText(const std::string& text) override { Record("SetStatusText " + (statusText = text)); }
  void SetUserText(const std::string& text) override { Record("SetUserText " + (userText = text)); }
  std::string UserText() override { return userText; }
  void SetButtonsEnabled(bool enabled) override { Record("SetButtonsEnabled", buttonsEnabled = enabled); }
  void SetRunChecked(bool checked) override { Record("SetRunChecked", runChecked = checked); }
  bool RunChecked() override { return runChecked; }
  void SetAppEntry(int index, const std::string& caption, bool visible) override {
    entries.at(static_cast<std::size_t>(index - 1)) = caption;
    Record("SetAppEntry " + std::to_string(index) + " " + caption, visible);
  }
  void SetShowPopupsChecked(bool checked) override {
    Record("SetShowPopupsChecked", showPopupsChecked = checked);
  }
  bool ShowPopupsChecked() override { return showPopupsChecked; }
  void ArmTimer(unsigned milliseconds) override { Record("ArmTimer " + std::to_string(milliseconds)); }
  void ShrinkToTray() override { Record("ShrinkToTray"); }
  void RemoveTrayIcon() override { Record("RemoveTrayIcon"); }
  void BringToForeground() override { Record("BringToForeground"); }
  void ShowTrayMenu() override { Record("ShowTrayMenu"); }
  void Close() override {
    Record("Close");
    closes += 1;
  }

  std::vector<std::string> lines;
  std::vector<std::string> problems;
  std::string statusText;
  std::string userText;
  bool buttonsEnabled = true;
  bool runChecked = false;
  bool showPopupsChecked = true;
  std::size_t closes = 0;
  std::array<std::string, 10> entries;  // the captions

 private:
  void Record(const std::string& line, bool value) { Record(line + (value ? " true" : " false")); }
  void Record(const std::string& line) {
    if (closes > 0) {
      problems.push_back(line + " after Close");
    }
    lines.push_back(line);
  }
};

}  // namespace hta::fakes
