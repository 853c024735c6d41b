#include "lifetime.h"

#include <sys/socket.h>

#include <condition_variable>
#include <mutex>
#include <unordered_set>

namespace backoffice {

namespace {

std::mutex g_mu;
std::condition_variable g_cv;  // signalled on stop and whenever a connection goes away
bool g_stopping = false;
std::unordered_set<int> g_fds;

}  // namespace

void RequestStop() {
  std::lock_guard<std::mutex> lock(g_mu);
  g_stopping = true;
  for (int fd : g_fds) {
    shutdown(fd, SHUT_RDWR);
  }
  g_cv.notify_all();
}

bool Stopping() {
  std::lock_guard<std::mutex> lock(g_mu);
  return g_stopping;
}

bool SleepUnlessStopping(std::uint32_t ms) {
  std::unique_lock<std::mutex> lock(g_mu);
  return !g_cv.wait_for(lock, std::chrono::milliseconds(ms), [] { return g_stopping; });
}

bool TrackConnection(int fd, std::size_t max) {
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_stopping || g_fds.size() >= max) {
    return false;
  }
  g_fds.insert(fd);
  return true;
}

void UntrackConnection(int fd) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_fds.erase(fd);
  g_cv.notify_all();
}

bool WaitForConnections(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(g_mu);
  return g_cv.wait_for(lock, timeout, [] { return g_fds.empty(); });
}

}  // namespace backoffice
