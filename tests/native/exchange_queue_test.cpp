// The hand-over between a transfer's worker thread and the GUI thread. Run
// under ThreadSanitizer by scripts/test (the native-tsan preset).

#include "transfer/exchange_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

namespace hta::testing {
namespace {

// A queue that counts how often it woke the GUI thread, and its GUI thread's
// side, which looks at it only when woken.
class ExchangeQueueTest : public ::testing::Test {
 protected:
  // Waits on the GUI thread's side for a wake after the first `seen`; false
  // when none comes within 10 s (a wake lost).
  bool WaitForAWake(int seen = 0) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (wakes == seen) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::yield();
    }
    return true;
  }

  // The GUI thread's side, as the real wait: after each wake, takes every
  // event queued, until the transfer's last; returns the body bytes in order
  // and the last kind (Interrupted when a wake never came).
  std::pair<std::string, HttpEvent::Kind> TakeAll() {
    std::string body;
    for (int seen = 0;;) {
      if (!WaitForAWake(seen)) {
        ADD_FAILURE() << "events were queued without a wake";
        return {body, HttpEvent::Kind::Interrupted};
      }
      // Read before taking: a push after the last take wakes it again.
      seen = wakes;
      while (std::optional<HttpEvent> event = queue.Take()) {
        if (event->kind == HttpEvent::Kind::Body) {
          body += event->body;
        } else if (event->kind != HttpEvent::Kind::Response) {
          return {body, event->kind};
        }
      }
    }
  }

  std::atomic<int> wakes = 0;
  ExchangeQueue queue{[this] { ++wakes; }};
};

TEST_F(ExchangeQueueTest, AWorkersBlocksArriveWholeInOrder) {
  std::string sent;
  for (int i = 0; i < 3000; ++i) {
    sent += std::string(1 + i % 700, static_cast<char>('a' + i % 26));
  }
  std::thread worker([&] {
    EXPECT_TRUE(queue.PushResponse(HttpResponse{}));
    for (std::size_t at = 0; at < sent.size();) {
      const std::size_t length = std::min<std::size_t>(1 + at % 700, sent.size() - at);
      EXPECT_TRUE(queue.PushBody(sent.substr(at, length)));
      at += length;
    }
    queue.PushEnd();
  });
  const auto [body, last] = TakeAll();
  worker.join();
  EXPECT_TRUE(body == sent);
  EXPECT_EQ(last, HttpEvent::Kind::End);
  EXPECT_EQ(queue.Take(), std::nullopt);
}

TEST_F(ExchangeQueueTest, AWorkerWaitsForRoomBeforeQueueingMore) {
  const std::string block(ExchangeQueue::kLimitBytes, 'y');
  std::thread worker([&] {
    EXPECT_TRUE(queue.PushBody(block));
    EXPECT_TRUE(queue.PushBody("more"));
    queue.PushFailed("read failed");
  });
  // A full queue holds the next block back, so the first take is the
  // block alone; taking it makes the room the next block waits for.
  ASSERT_TRUE(WaitForAWake());
  const std::optional<HttpEvent> first = queue.Take();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->body.size(), block.size()) << "a block was queued past the limit";
  const auto [rest, last] = TakeAll();
  worker.join();
  EXPECT_EQ(rest, "more");
  EXPECT_EQ(last, HttpEvent::Kind::Failed);
}

TEST_F(ExchangeQueueTest, AbandoningReleasesAWorkerWaitingForRoom) {
  const std::string block(ExchangeQueue::kLimitBytes, 'x');
  std::thread worker([&] {
    EXPECT_TRUE(queue.PushBody(block));
    // The queue is full: this waits until the GUI thread gives up.
    EXPECT_FALSE(queue.PushBody("more")) << "a block was queued past the limit";
    EXPECT_FALSE(queue.PushBody("after"));
    queue.PushEnd();
  });
  ASSERT_TRUE(WaitForAWake());
  queue.Abandon();
  worker.join();
  EXPECT_TRUE(queue.Abandoned());
  EXPECT_EQ(queue.Take(), std::nullopt) << "nothing is kept for a transfer given up";
}

}  // namespace
}  // namespace hta::testing
