#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "ports/message_pump.h"

namespace hta::fakes {

// A message loop with scripted messages: a test queues what should happen
// inside the Nth DoEvents call (counted from 1 over the pump's life), in
// place of timer ticks and clicks. Callbacks may run the loop again
// themselves (a nested transfer); those inner calls are counted too, in the
// order they happen.
class FakeMessagePump final : public MessagePump {
 public:
  void DoEvents() override {
    const std::size_t number = ++calls;
    if (onEveryCall) {
      onEveryCall(number);
    }
    const auto found = due_.find(number);
    if (found == due_.end()) {
      return;
    }
    // Taken out first: the callbacks may queue more, or run the loop again.
    std::vector<std::function<void()>> callbacks = std::move(found->second);
    due_.erase(found);
    for (auto& callback : callbacks) {
      callback();
    }
  }

  // Runs `callback` inside DoEvents call number `number`.
  void At(std::size_t number, std::function<void()> callback) { due_[number].push_back(std::move(callback)); }

  // Runs `callback` inside the DoEvents call `offset` calls from now (1: the
  // next one).
  void After(std::size_t offset, std::function<void()> callback) { At(calls + offset, std::move(callback)); }

  // Runs at every DoEvents call, with its number, before the queued callbacks.
  std::function<void(std::size_t)> onEveryCall;

  // DoEvents calls so far.
  std::size_t calls = 0;

 private:
  std::map<std::size_t, std::vector<std::function<void()>>> due_;
};

}  // namespace hta::fakes
