#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace backoffice {

// Blocking socket reads and writes for one connection thread. Nothing here
// knows HTTP; it only guarantees whole writes, bounded reads and no waiting
// forever on a client that went quiet.

// How long a connection may sit without sending anything (between keep-alive
// requests or in the middle of one) before it is dropped.
inline constexpr int kIdleMillis = 30000;

// Sends everything or fails.
bool SendAll(int fd, std::string_view data);

// Bytes SendAll has sent in this run, on every connection, except those sent
// while an UncountedSends lived on the sending thread: what the scenario's
// answers cost the network.
std::uint64_t BytesSent();

// The server's own answers (its request log, this count) are not counted.
class UncountedSends {
 public:
  UncountedSends();
  ~UncountedSends();
  UncountedSends(const UncountedSends&) = delete;
  UncountedSends& operator=(const UncountedSends&) = delete;
};

// Received bytes not yet consumed. Pipelined requests arrive back to back, so
// whatever follows one request's end stays here for the next one.
class Input {
 public:
  explicit Input(int fd) : fd_(fd) {}

  std::string& buffer() { return buf_; }
  // Appends whatever arrives next. False on end of stream, error, or
  // kIdleMillis without data.
  bool Fill();

  enum class Line { kOk, kTooLong, kClosed };
  // One line without its CRLF or LF, refusing lines longer than `max`.
  Line ReadLine(std::string* line, std::size_t max);
  // Throws away `n` bytes of request body.
  bool Discard(std::uint64_t n);

 private:
  int fd_;
  std::string buf_;
};

// Buffered writes, so a header block and the first body block leave in one
// segment (TCP_NODELAY is on, for drip). With pacing set, writes go out
// `burst` bytes at a time with a pause between bursts instead, once the
// first `first_unpaced` bytes have gone out at full speed.
class Output {
 public:
  explicit Output(int fd) : fd_(fd) {}

  void Pace(std::uint64_t burst, std::uint32_t pause_ms, std::uint64_t first_unpaced);
  bool Write(std::string_view data);
  bool Flush();

 private:
  int fd_;
  std::string buf_;
  std::uint64_t burst_ = 0;
  std::uint32_t pauseMs_ = 0;
  std::uint64_t inBurst_ = 0;
  std::uint64_t unpaced_ = 0;
};

// Ends a connection without losing the last response. close() on a socket
// with unread input makes Linux send RST, and an RST can reach the client
// before it has read the response we just sent, which it then never sees.
// So: half-close, then read until the client closes too (bounded). The
// caller still owns the fd and closes it.
void CloseGracefully(int fd);

}  // namespace backoffice
