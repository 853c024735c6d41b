#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace backoffice {

// How the server stops: the accept loop calls RequestStop() on a signal or
// when --max-seconds runs out. Connection threads may be asleep in a stall or
// a drip, or blocked in recv()/send() on a client that went quiet; every one
// of those waits ends promptly once a stop is requested, so the process can
// exit without leaving a test waiting.

void RequestStop();
bool Stopping();

// Sleeps `ms`, or less when a stop is requested. False when stopping.
bool SleepUnlessStopping(std::uint32_t ms);

// The open client sockets. A stop shuts each one down, which wakes any thread
// blocked on it. Track refuses (false) when stopping or when `max` are open.
bool TrackConnection(int fd, std::size_t max);
// Call before close(): once the fd is closed its number may be reused by a
// new socket, which a stop must not shut down by mistake.
void UntrackConnection(int fd);
// True when every tracked connection was untracked within `timeout`.
bool WaitForConnections(std::chrono::milliseconds timeout);

}  // namespace backoffice
