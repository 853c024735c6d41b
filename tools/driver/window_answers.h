#pragma once

// How quickly a window of another process answers, asked the way Windows
// asks before it calls a window "not responding": SendMessageTimeoutA with
// WM_NULL, from a thread of the watcher's own, every 100 ms, for as long as
// the watch lives. The slowest answer and the number of asks are kept. An
// ask waits up to a minute for its answer; one that gets none counts as the
// whole minute, and an ask to a window that is gone ends the watch.

#include <atomic>
#include <mutex>
#include <thread>

#include "win32/win32_headers.h"

namespace hta::wintest {

struct WindowAnswers {
  double worstMs = 0;
  int asks = 0;
};

class WindowAnswerWatch {
 public:
  static constexpr DWORD kIntervalMs = 100;
  static constexpr DWORD kAskLimitMs = 60000;

  explicit WindowAnswerWatch(HWND window);
  ~WindowAnswerWatch();
  WindowAnswerWatch(const WindowAnswerWatch&) = delete;
  WindowAnswerWatch& operator=(const WindowAnswerWatch&) = delete;

  // What was seen so far; the watch goes on.
  WindowAnswers SoFar() const;
  // Stops asking (once the ask in progress has its answer) and returns what
  // was seen.
  WindowAnswers Stop();

 private:
  void Ask();

  HWND window_;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  WindowAnswers seen_;
  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace hta::wintest
