#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "ports/main_window.h"

namespace hta::fakes {

// The main window as a record: every call that changes what the user sees
// is one line, in order; the state the tests read is kept too, starting as
// the real window is created (menu entries "Start application N"; popups
// checked; buttons enabled). Reading calls
// (UserText, RunChecked, ShowPopupsChecked) answer from that state and are
// not recorded.
//
// Line formats:
//   ArmTimer 60000            SetVersionText [version 3.0.4]
//   SetStatusText [text]      SetUserText [text]
//   SetButtonsEnabled false   SetRunChecked true
//   SetAppEntry 3 [caption] visible|hidden
//   SetShowPopupsChecked true ShrinkToTray   RemoveTrayIcon
//   BringToForeground         ShowTrayMenu   Close
class FakeMainWindow final : public MainWindowView {
 public:
  struct Entry {
    std::string caption;
  };

  FakeMainWindow() {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      entries[i].caption = "Start application " + std::to_string(i + 1);
    }
  }

  void SetVersionText(const std::string& text) override { Record("SetVersionText [" + text + "]"); }
  void SetStatusText(const std::string& text) override {
    statusText = text;
    Record("SetStatusText [" + text + "]");
  }
  void SetUserText(const std::string& text) override {
    userText = text;
    Record("SetUserText [" + text + "]");
  }
  std::string UserText() override { return userText; }
  void SetButtonsEnabled(bool enabled) override {
    buttonsEnabled = enabled;
    Record(std::string("SetButtonsEnabled ") + (enabled ? "true" : "false"));
  }
  void SetRunChecked(bool checked) override {
    runChecked = checked;
    Record(std::string("SetRunChecked ") + (checked ? "true" : "false"));
  }
  bool RunChecked() override { return runChecked; }
  void SetAppEntry(int index, const std::string& caption, bool visible) override {
    if (index >= 1 && index <= static_cast<int>(entries.size())) {
      entries[static_cast<std::size_t>(index - 1)].caption = caption;
    } else {
      problems.push_back("SetAppEntry with index " + std::to_string(index));
    }
    Record("SetAppEntry " + std::to_string(index) + " [" + caption + "] " + (visible ? "visible" : "hidden"));
  }
  void SetShowPopupsChecked(bool checked) override {
    showPopupsChecked = checked;
    Record(std::string("SetShowPopupsChecked ") + (checked ? "true" : "false"));
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
  // Calls made after Close (a second Close included), which the real
  // window would no longer take.
  std::vector<std::string> problems;

  std::string statusText;
  std::string userText;
  bool buttonsEnabled = true;
  bool runChecked = false;
  bool showPopupsChecked = true;
  std::size_t closes = 0;
  std::array<Entry, 10> entries;

 private:
  void Record(const std::string& line) {
    if (closes > 0) {
      problems.push_back(line + " after Close");
    }
    lines.push_back(line);
  }
};

}  // namespace hta::fakes
