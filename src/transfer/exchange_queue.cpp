#include "transfer/exchange_queue.h"

#include <utility>

namespace hta {

bool ExchangeQueue::Push(HttpEvent event) {
  {
    const std::lock_guard lock(mutex_);
    if (abandoned_) {
      return false;
    }
    events_.push_back(std::move(event));
    // Told with this event: nothing queued is left untold.
    untoldBytes_ = 0;
  }
  if (wake_) {
    wake_();
  }
  return true;
}

bool ExchangeQueue::PushResponse(HttpResponse response) {
  HttpEvent event;
  event.kind = HttpEvent::Kind::Response;
  event.response = std::move(response);
  return Push(std::move(event));
}

bool ExchangeQueue::QueueBody(std::string_view bytes) {
  queuedBytes_ += bytes.size();
  if (!events_.empty() && events_.back().kind == HttpEvent::Kind::Body) {
    events_.back().body.append(bytes);
  } else {
    HttpEvent event;
    event.kind = HttpEvent::Kind::Body;
    event.body.assign(bytes);
    events_.push_back(std::move(event));
  }
  const auto now = std::chrono::steady_clock::now();
  const bool afterAPause = now - lastBlock_ >= kWakeDelay;
  lastBlock_ = now;
  if (untoldBytes_ == 0) {
    untoldSince_ = now;
  }
  untoldBytes_ += bytes.size();
  if (afterAPause || untoldBytes_ >= kWakeBytes || now - untoldSince_ >= kWakeDelay) {
    untoldBytes_ = 0;
    return true;
  }
  return false;
}

bool ExchangeQueue::PushBody(std::string_view bytes) {
  bool wake = false;
  {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return abandoned_ || queuedBytes_ < kLimitBytes; });
    if (abandoned_) {
      return false;
    }
    if (bytes.empty()) {
      return true;
    }
    wake = QueueBody(bytes);
  }
  if (wake && wake_) {
    wake_();
  }
  return true;
}

void ExchangeQueue::PushEnd() {
  HttpEvent event;
  event.kind = HttpEvent::Kind::End;
  Push(std::move(event));
}

void ExchangeQueue::PushFailed(std::string reason) {
  HttpEvent event;
  event.kind = HttpEvent::Kind::Failed;
  event.reason = std::move(reason);
  Push(std::move(event));
}

bool ExchangeQueue::Abandoned() const {
  const std::lock_guard lock(mutex_);
  return abandoned_;
}

std::optional<HttpEvent> ExchangeQueue::Take() {
  std::optional<HttpEvent> event;
  {
    const std::lock_guard lock(mutex_);
    if (events_.empty()) {
      return std::nullopt;
    }
    event = std::move(events_.front());
    events_.pop_front();
    if (event->kind == HttpEvent::Kind::Body) {
      queuedBytes_ -= event->body.size();
    }
  }
  room_.notify_all();
  return event;
}

void ExchangeQueue::Abandon() {
  {
    const std::lock_guard lock(mutex_);
    abandoned_ = true;
    events_.clear();
    queuedBytes_ = 0;
  }
  room_.notify_all();
}

}  // namespace hta
