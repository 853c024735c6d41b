#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "ports/http.h"

namespace hta {

// The hand-over between one transfer's worker thread and the GUI thread.
// The worker pushes the transfer's events as they happen; the GUI thread
// takes them when it wakes. This is the only state the two threads share,
// and every member is safe to call from either side as documented.
//
// Body blocks are queued as the worker read them, taken over and not
// copied, and Take() hands the blocks queued at that moment over as one
// Body event of up to kWakeBytes (more blocks make more events), joined on
// the GUI thread's side once the lock is released. (Joined whole, a GUI
// thread that fell behind got megabyte batches, whose fresh pages slowed it
// further.) So
// the GUI thread pays for one wake per batch and not per block: while blocks
// follow each other within kWakeDelay, the GUI thread is woken once
// kWakeBytes or kWakeDelay's worth has gathered; a block after a pause wakes
// it at once. (So the last blocks before the network falls silent are told
// when it speaks again, ends or fails.) The worker waits while kLimitBytes
// are queued, so a GUI thread busy elsewhere (a message box, a nested
// transfer) never lets a fast server fill memory.
//
// Once abandoned (the GUI thread gave up on the transfer) every push is
// refused and a waiting worker is released: it only has to close its own
// handles and end.
class ExchangeQueue {
 public:
  static constexpr std::size_t kLimitBytes = std::size_t{2} << 20;
  static constexpr std::size_t kWakeBytes = std::size_t{256} << 10;
  static constexpr std::chrono::steady_clock::duration kWakeDelay = std::chrono::milliseconds(2);

  // `wake` is called on the worker's thread after each push that the GUI
  // thread may be waiting for; it must be safe to call from any thread. May
  // be empty.
  explicit ExchangeQueue(std::function<void()> wake) : wake_(std::move(wake)) {}
  ExchangeQueue(const ExchangeQueue&) = delete;
  ExchangeQueue& operator=(const ExchangeQueue&) = delete;

  // --- The worker's side. Each returns false once the transfer has been
  // abandoned: the worker then stops.
  bool PushResponse(HttpResponse response);
  // Waits for room first (see kLimitBytes); an empty block pushes nothing.
  bool PushBody(std::string block);
  // The last push of a transfer: End or Failed.
  void PushEnd();
  void PushFailed(std::string reason);
  bool Abandoned() const;

  // --- The GUI thread's side.
  // The oldest event not yet taken, with the Body blocks queued after it
  // when it is one, up to kWakeBytes in all; nullopt when none is queued.
  std::optional<HttpEvent> Take();
  void Abandon();

 private:
  bool Push(HttpEvent event);
  // Queues `block` (the lock held); whether the GUI thread must be woken now.
  bool QueueBody(std::string block);

  std::function<void()> wake_;
  mutable std::mutex mutex_;
  std::condition_variable room_;
  std::deque<HttpEvent> events_;
  std::size_t queuedBytes_ = 0;
  bool abandoned_ = false;
  // Body bytes queued since the last wake, when the first of them came, and
  // when the last block came.
  std::size_t untoldBytes_ = 0;
  std::chrono::steady_clock::time_point untoldSince_;
  std::chrono::steady_clock::time_point lastBlock_;
};

}  // namespace hta
