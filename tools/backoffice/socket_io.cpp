#include "socket_io.h"

#include <atomic>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "lifetime.h"

namespace backoffice {

namespace {

constexpr std::size_t kReadBlock = 16384;
constexpr std::size_t kFlushAt = 65536;

// Waits for input; false on timeout or error. EINTR is retried with the full
// timeout again, which only lengthens a wait that is bounded anyway.
bool WaitReadable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    int r = poll(&p, 1, timeout_ms);
    if (r > 0) {
      return true;
    }
    if (r == 0 || errno != EINTR) {
      return false;
    }
  }
}

std::atomic<std::uint64_t> g_sent{0};
thread_local bool t_uncounted = false;

}  // namespace

std::uint64_t BytesSent() {
  return g_sent.load();
}

UncountedSends::UncountedSends() {
  t_uncounted = true;
}

UncountedSends::~UncountedSends() {
  t_uncounted = false;
}

bool SendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    // MSG_NOSIGNAL: a client that hung up costs an error return here, not a
    // SIGPIPE that would take the whole server down.
    ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    if (!t_uncounted) {
      g_sent += static_cast<std::uint64_t>(n);
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool Input::Fill() {
  if (!WaitReadable(fd_, kIdleMillis)) {
    return false;
  }
  char block[kReadBlock];
  for (;;) {
    ssize_t n = recv(fd_, block, sizeof block, 0);
    if (n > 0) {
      buf_.append(block, static_cast<std::size_t>(n));
      return true;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    return false;
  }
}

Input::Line Input::ReadLine(std::string* line, std::size_t max) {
  std::size_t nl;
  while ((nl = buf_.find('\n')) == std::string::npos) {
    if (buf_.size() > max) {
      return Line::kTooLong;
    }
    if (!Fill()) {
      return Line::kClosed;
    }
  }
  if (nl > max) {
    return Line::kTooLong;
  }
  std::size_t len = (nl > 0 && buf_[nl - 1] == '\r') ? nl - 1 : nl;
  line->assign(buf_, 0, len);
  buf_.erase(0, nl + 1);
  return Line::kOk;
}

bool Input::Discard(std::uint64_t n) {
  while (n > 0) {
    if (buf_.empty() && !Fill()) {
      return false;
    }
    std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, buf_.size()));
    buf_.erase(0, take);
    n -= take;
  }
  return true;
}

void Output::Pace(std::uint64_t burst, std::uint32_t pause_ms, std::uint64_t first_unpaced) {
  burst_ = burst;
  pauseMs_ = pause_ms;
  inBurst_ = 0;
  unpaced_ = first_unpaced;
}

bool Output::Write(std::string_view data) {
  if (unpaced_ > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), unpaced_));
    buf_.append(data.substr(0, n));
    unpaced_ -= n;
    data.remove_prefix(n);
    if (buf_.size() >= kFlushAt && !Flush()) {
      return false;
    }
  }
  if (burst_ == 0) {
    buf_.append(data);
    return buf_.size() < kFlushAt || Flush();
  }
  if (!Flush()) {
    return false;
  }
  while (!data.empty()) {
    // The pause comes before a burst, never after the last one, so a dripped
    // response ends as soon as its last byte is out.
    if (inBurst_ == burst_) {
      if (!SleepUnlessStopping(pauseMs_)) {
        return false;
      }
      inBurst_ = 0;
    }
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), burst_ - inBurst_));
    if (!SendAll(fd_, data.substr(0, n))) {
      return false;
    }
    inBurst_ += n;
    data.remove_prefix(n);
  }
  return true;
}

bool Output::Flush() {
  bool ok = SendAll(fd_, buf_);
  buf_.clear();
  return ok;
}

void CloseGracefully(int fd) {
  shutdown(fd, SHUT_WR);
  // Long enough for a client on loopback to read and close; short enough
  // that a client which never closes costs only a second of one thread.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  char sink[4096];
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitReadable(fd, static_cast<int>(left.count()))) {
      break;
    }
    ssize_t n = recv(fd, sink, sizeof sink, 0);
    if (n == 0 || (n < 0 && errno != EINTR)) {
      break;
    }
  }
}

}  // namespace backoffice
