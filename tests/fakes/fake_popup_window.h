#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ports/popup_window.h"

namespace hta::fakes {

// Popup windows as records. Every window writes its calls, one line each, into
// the factory's shared log (so the log outlives the windows), prefixed with
// the window's number ("#1 SetTranslucent 6"); its current state is kept in a
// record that the factory also owns, so a test can still read it after the
// core destroyed the window. A test clicks or ticks a window through the
// factory, which calls the core's handlers as the real window would.
//
// Line formats (after "#N "):
//   Create          SetText [text]    ShowLink     SetTranslucent 198
//   SetTopMostWindow true MoveTo 926 577    ShowNoActivate
//   SetTimer 7000   Destroy
class FakePopupFactory final : public PopupFactory {
 public:
  struct Record {
    int number = 0;
    PopupEvents* events = nullptr;  // null once the window is destroyed
    bool alive = true;
    std::string text;
    bool link = false;
    int alpha = 255;
    int left = 0;
    int top = 0;
    bool shown = false;
    unsigned timer = 0;
    std::size_t alphaCalls = 0;
    std::size_t destroyed = 0;  // how often the window's destructor ran
  };

  std::unique_ptr<PopupWindow> Create(PopupEvents& events) override {
    if (refuse) {
      return nullptr;
    }
    auto record = std::make_unique<Record>();
    record->number = static_cast<int>(records.size()) + 1;
    record->events = &events;
    records.push_back(std::move(record));
    Log(*records.back(), "Create");
    return std::make_unique<Window>(*this, *records.back());
  }

  PopupScreen Screen() override { return screen; }

  // The record of window `number` (from 1, in the order made).
  Record& At(int number) { return *records.at(static_cast<std::size_t>(number) - 1); }

  // What the user and the timer do; the window must still be alive.
  void ClickText(int number) { Events(number).lblMessage_Click(); }
  void ClickClose(int number) { Events(number).lblClose_Click(); }
  void ClickForm(int number) { Events(number).Form_Click(); }
  void Tick(int number) { Events(number).Timer1_Timer(); }

  // Lines of window `number` only, without the prefix.
  std::vector<std::string> LinesOf(int number) const {
    const std::string prefix = "#" + std::to_string(number) + " ";
    std::vector<std::string> out;
    for (const std::string& line : log) {
      if (line.compare(0, prefix.size(), prefix) == 0) {
        out.push_back(line.substr(prefix.size()));
      }
    }
    return out;
  }

  PopupScreen screen{0, 0, 1280, 800, 96};
  bool refuse = false;         // Create returns null
  bool cursorMissing = false;  // ShowLink reports no hand cursor
  bool topMostFails = false;   // SetTopMostWindow reports a refusal
  std::vector<std::string> log;
  std::vector<std::unique_ptr<Record>> records;

 private:
  class Window final : public PopupWindow {
   public:
    Window(FakePopupFactory& factory, Record& record) : factory_(factory), record_(record) {}
    ~Window() override {
      record_.alive = false;
      record_.events = nullptr;
      ++record_.destroyed;
      factory_.Log(record_, "Destroy");
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    void SetText(const std::string& text) override {
      record_.text = text;
      factory_.Log(record_, "SetText [" + text + "]");
    }
    bool ShowLink() override {
      factory_.Log(record_, "ShowLink");
      record_.link = !factory_.cursorMissing;
      return record_.link;
    }
    void SetTranslucent(int alpha) override {
      ++record_.alphaCalls;
      if (alpha >= 0 && alpha <= 255) {
        record_.alpha = alpha;
      }
      factory_.Log(record_, "SetTranslucent " + std::to_string(alpha));
    }
    bool SetTopMostWindow(bool topMost) override {
      factory_.Log(record_, std::string("SetTopMostWindow ") + (topMost ? "true" : "false"));
      return !factory_.topMostFails;
    }
    void MoveTo(int left, int top) override {
      record_.left = left;
      record_.top = top;
      factory_.Log(record_, "MoveTo " + std::to_string(left) + " " + std::to_string(top));
    }
    void ShowNoActivate() override {
      record_.shown = true;
      factory_.Log(record_, "ShowNoActivate");
    }
    void SetTimer(unsigned milliseconds) override {
      record_.timer = milliseconds;
      factory_.Log(record_, "SetTimer " + std::to_string(milliseconds));
    }

   private:
    FakePopupFactory& factory_;
    Record& record_;
  };

  PopupEvents& Events(int number) {
    Record& record = At(number);
    // A click on a destroyed window would be a test error, not a core one.
    if (record.events == nullptr) {
      throw std::logic_error("popup #" + std::to_string(number) + " has no window any more");
    }
    return *record.events;
  }

  void Log(const Record& record, const std::string& line) {
    log.push_back("#" + std::to_string(record.number) + " " + line);
  }
};

}  // namespace hta::fakes
