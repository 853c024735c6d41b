#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ports/popup_window.h"

namespace hta::fakes {

// Popup windows as records that the factory owns, so a test can still read
// one after the core destroyed its window. A test clicks or ticks a window
// through the factory, which calls the core's handlers as the real window
// would.
class FakePopupFactory final : public PopupFactory {
 public:
  struct Record {
    PopupEvents* events = nullptr;  // null once the window is destroyed
    std::string text;
    bool link = false;  // ShowLink was asked
    int left = 0;
    int top = 0;
    unsigned timer = 0;
    std::vector<int> alphas;    // every SetTranslucent
    std::size_t calls = 0;      // every call on the window
    std::size_t destroyed = 0;  // how often the window's destructor ran
  };

  std::unique_ptr<PopupWindow> Create(PopupEvents& events) override {
    if (refuse) {
      return nullptr;
    }
    auto record = std::make_unique<Record>();
    record->events = &events;
    records.push_back(std::move(record));
    return std::make_unique<Window>(*this, *records.back());
  }

  PopupScreen Screen() override { return screen; }

  // The record of window `number` (from 1, in the order made).
  Record& At(int number) { return *records.at(static_cast<std::size_t>(number) - 1); }

  // What the user and the timer do; the window must still be alive.
  void ClickText(int number) { Events(number).MessageClicked(); }
  void ClickClose(int number) { Events(number).CloseClicked(); }
  void ClickForm(int number) { Events(number).BackgroundClicked(); }
  void Tick(int number) { Events(number).TimerTick(); }

  PopupScreen screen{0, 0, 1280, 800, 96};
  bool refuse = false;         // Create returns null
  bool cursorMissing = false;  // ShowLink reports no hand cursor
  bool topMostFails = false;   // SetTopMostWindow reports a refusal
  std::vector<std::unique_ptr<Record>> records;

 private:
  class Window final : public PopupWindow {
   public:
    Window(FakePopupFactory& factory, Record& record) : factory_(factory), record_(record) {}
    ~Window() override {
      record_.events = nullptr;
      ++record_.destroyed;
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    void SetText(const std::string& text) override { Called().text = text; }
    bool ShowLink() override {
      Called().link = true;
      return !factory_.cursorMissing;
    }
    void SetTranslucent(int alpha) override { Called().alphas.push_back(alpha); }
    bool SetTopMostWindow(bool) override {
      Called();
      return !factory_.topMostFails;
    }
    void MoveTo(int left, int top) override {
      Called().left = left;
      record_.top = top;
    }
    void ShowNoActivate() override { Called(); }
    void SetTimer(unsigned milliseconds) override { Called().timer = milliseconds; }

   private:
    // Counts the call and gives the record it changes.
    Record& Called() {
      ++record_.calls;
      return record_;
    }

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
};

}  // namespace hta::fakes
