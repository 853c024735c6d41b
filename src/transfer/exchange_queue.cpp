#include "transfer/exchange_queue.h"

#include <utility>
#include <vector>

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

bool ExchangeQueue::QueueBody(std::string block) {
  queuedBytes_ += block.size();
  const auto now = std::chrono::steady_clock::now();
  const bool afterAPause = now - lastBlock_ >= kWakeDelay;
  lastBlock_ = now;
  if (untoldBytes_ == 0) {
    untoldSince_ = now;
  }
  untoldBytes_ += block.size();
  HttpEvent event;
  event.kind = HttpEvent::Kind::Body;
  event.body = std::move(block);
  events_.push_back(std::move(event));
  if (afterAPause || untoldBytes_ >= kWakeBytes || now - untoldSince_ >= kWakeDelay) {
    untoldBytes_ = 0;
    return true;
  }
  return false;
}

bool ExchangeQueue::PushBody(std::string block) {
  bool wake = false;
  {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return abandoned_ || queuedBytes_ < kLimitBytes; });
    if (abandoned_) {
      return false;
    }
    if (block.empty()) {
      return true;
    }
    wake = QueueBody(std::move(block));
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
  std::vector<std::string> more;  // the blocks that follow a first one
  std::size_t bodyBytes = 0;
  {
    const std::lock_guard lock(mutex_);
    if (events_.empty()) {
      return std::nullopt;
    }
    event = std::move(events_.front());
    events_.pop_front();
    if (event->kind == HttpEvent::Kind::Body) {
      bodyBytes = event->body.size();
      while (!events_.empty() && events_.front().kind == HttpEvent::Kind::Body &&
             bodyBytes + events_.front().body.size() <= kWakeBytes) {
        bodyBytes += events_.front().body.size();
        more.push_back(std::move(events_.front().body));
        events_.pop_front();
      }
      queuedBytes_ -= bodyBytes;
    }
  }
  room_.notify_all();
  // Joined into one with the lock released, so the worker reads on.
  if (!more.empty()) {
    event->body.reserve(bodyBytes);
    for (const std::string& block : more) {
      event->body += block;
    }
  }
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
