#include "window_answers.h"

#include <algorithm>

#include "stopwatch.h"

namespace hta::wintest {

WindowAnswerWatch::WindowAnswerWatch(HWND window) : window_(window), thread_([this] { Ask(); }) {}

WindowAnswerWatch::~WindowAnswerWatch() {
  Stop();
}

WindowAnswers WindowAnswerWatch::SoFar() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

WindowAnswers WindowAnswerWatch::Stop() {
  stopping_ = true;
  if (thread_.joinable()) {
    thread_.join();
  }
  return SoFar();
}

void WindowAnswerWatch::Ask() {
  while (!stopping_ && IsWindow(window_)) {
    const Stopwatch asked;
    DWORD_PTR result = 0;
    const bool answer = SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, kAskLimitMs, &result) != 0;
    const double took = answer ? asked.Milliseconds() : double{kAskLimitMs};
    // A window destroyed while it was asked gives no answer: that is its
    // end, not a slow answer.
    if (!answer && !IsWindow(window_)) {
      break;
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      seen_.asks += 1;
      seen_.worstMs = std::max(seen_.worstMs, took);
    }
    Sleep(kIntervalMs);
  }
}

}  // namespace hta::wintest
