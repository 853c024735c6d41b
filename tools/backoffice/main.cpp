// hta-backoffice: a scripted HTTP/1.1 server on 127.0.0.1 for the end-to-end
// tests, the demo and the benchmarks. It answers from a scenario file,
// including deliberately broken answers (lying lengths, dropped connections,
// dripping bodies), logs every request head, and stops by itself. See
// README.md for the command line and the scenario format.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "connection.h"
#include "lifetime.h"
#include "request_log.h"
#include "scenario.h"
#include "socket_io.h"
#include "text_util.h"

namespace backoffice {
namespace {

// Exit codes: 2 = the command line or the scenario is wrong (fix the test),
// 1 = the server could not start (port taken, unwritable file).
constexpr int kExitUsage = 2;
constexpr int kExitStart = 1;

// Plenty for a test or a benchmark; past it a connection is closed at once
// rather than costing another thread.
constexpr std::size_t kMaxConnections = 512;

constexpr char kUsage[] =
    "usage: hta-backoffice --scenario FILE [--port N] [--port-file PATH] [--log PATH]\n"
    "                      [--max-seconds N] [--root DIR]\n";

struct Options {
  std::string scenario;
  unsigned long long port = 0;
  std::string portFile;
  std::string log;
  unsigned long long maxSeconds = 120;
  std::string root;
};

int g_signal_pipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
  // Only async-signal-safe work here: the accept loop sees the byte and stops.
  int saved = errno;
  char byte = 1;
  [[maybe_unused]] ssize_t n = write(g_signal_pipe[1], &byte, 1);
  errno = saved;
}

[[noreturn]] void Fail(int code, const std::string& message) {
  std::fprintf(stderr, "hta-backoffice: %s\n", message.c_str());
  std::exit(code);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string value;
    std::string_view name = arg;
    std::size_t eq = arg.find('=');
    if (arg.substr(0, 2) == "--" && eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = std::string(arg.substr(eq + 1));
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      Fail(kExitUsage, std::string(arg) + " needs a value\n" + kUsage);
    }
    if (name == "--scenario") {
      o.scenario = value;
    } else if (name == "--port") {
      if (!ParseDecimal(value, 65535, &o.port)) {
        Fail(kExitUsage, "--port wants 0 to 65535");
      }
    } else if (name == "--port-file") {
      o.portFile = value;
    } else if (name == "--log") {
      o.log = value;
    } else if (name == "--max-seconds") {
      if (!ParseDecimal(value, 86400, &o.maxSeconds) || o.maxSeconds == 0) {
        Fail(kExitUsage, "--max-seconds wants 1 to 86400");
      }
    } else if (name == "--root") {
      o.root = value;
    } else {
      Fail(kExitUsage, "unknown option " + std::string(name) + "\n" + kUsage);
    }
  }
  if (o.scenario.empty()) {
    Fail(kExitUsage, std::string("--scenario is required\n") + kUsage);
  }
  if (o.root.empty()) {
    std::size_t slash = o.scenario.rfind('/');
    o.root = slash == std::string::npos ? "." : slash == 0 ? "/" : o.scenario.substr(0, slash);
  }
  return o;
}

// Written under a temporary name and renamed, so a test polling for the file
// never reads it half-written: rename() replaces the name atomically.
bool WritePortFile(const std::string& path, std::uint16_t port) {
  std::string tmp = path + ".tmp." + std::to_string(getpid());
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) {
    return false;
  }
  bool ok = std::fprintf(f, "%u\n", static_cast<unsigned>(port)) > 0;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

void InstallSignals() {
  if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    Fail(kExitStart, "pipe: " + std::string(strerror(errno)));
  }
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  // Belt and braces beside MSG_NOSIGNAL: no write to a closed socket may kill us.
  signal(SIGPIPE, SIG_IGN);
}

int Listen(std::uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    Fail(kExitStart, "socket: " + std::string(strerror(errno)));
  }
  // A fixed --port must be reusable right after the previous test's server
  // stopped, while its old connections still sit in TIME_WAIT.
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, never a real interface
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    Fail(kExitStart, "bind 127.0.0.1:" + std::to_string(port) + ": " + strerror(errno));
  }
  if (listen(fd, 128) != 0) {
    Fail(kExitStart, "listen: " + std::string(strerror(errno)));
  }
  return fd;
}

void StartConnection(int fd, ServerState& state) {
  if (!TrackConnection(fd, kMaxConnections)) {
    close(fd);
    return;
  }
  int one = 1;
  // Drip sends tiny pieces on purpose; Nagle would glue them back together.
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  // A client that stops reading must not pin a thread in send() forever.
  timeval tv{kIdleMillis / 1000, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  try {
    std::thread([fd, &state] {
      ServeConnection(fd, state);
      UntrackConnection(fd);
      close(fd);
    }).detach();
  } catch (const std::system_error&) {
    UntrackConnection(fd);
    close(fd);
  }
}

Scenario LoadScenario(const Options& opt) {
  std::ifstream in(opt.scenario, std::ios::binary);
  if (!in) {
    Fail(kExitUsage, "cannot read scenario " + opt.scenario + ": " + strerror(errno));
  }
  std::ostringstream text;
  text << in.rdbuf();
  Scenario scenario;
  if (auto err = ParseScenario(text.str(), opt.root, &scenario)) {
    Fail(kExitUsage, opt.scenario + ":" + std::to_string(err->line) + ": " + err->message);
  }
  return scenario;
}

std::uint16_t BoundPort(int listener) {
  sockaddr_in bound{};
  socklen_t bound_len = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &bound_len);
  return ntohs(bound.sin_port);
}

// Accepts connections until the time limit or a stop signal.
void AcceptUntilStopped(int listener, unsigned long long maxSeconds, ServerState& state) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) {
      return;
    }
    pollfd fds[2] = {{listener, POLLIN, 0}, {g_signal_pipe[0], POLLIN, 0}};
    int r = poll(fds, 2, static_cast<int>(std::min<long long>(left, INT_MAX)));
    if (r < 0 && errno != EINTR) {
      return;
    }
    if (r <= 0) {
      continue;
    }
    if (fds[1].revents != 0) {
      return;
    }
    if (fds[0].revents & POLLIN) {
      int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        StartConnection(fd, state);
      }
    }
  }
}

int Run(int argc, char** argv) {
  Options opt = ParseOptions(argc, argv);
  Scenario scenario = LoadScenario(opt);

  RequestLog log;
  if (!opt.log.empty() && !log.Open(opt.log)) {
    Fail(kExitStart, "cannot open log " + opt.log + ": " + strerror(errno));
  }

  InstallSignals();
  int listener = Listen(static_cast<std::uint16_t>(opt.port));
  const std::uint16_t port = BoundPort(listener);
  SubstitutePort(&scenario, port);
  ServerState state(scenario, log);

  if (!opt.portFile.empty() && !WritePortFile(opt.portFile, port)) {
    Fail(kExitStart, "cannot write port file " + opt.portFile + ": " + strerror(errno));
  }
  std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(port));
  std::fflush(stdout);

  AcceptUntilStopped(listener, opt.maxSeconds, state);

  close(listener);
  RequestStop();
  WaitForConnections(std::chrono::seconds(2));
  std::fflush(stdout);
  std::fflush(stderr);
  // _exit, not return: a connection thread that has not finished yet still
  // uses `state` and `scenario`, and must not see them destroyed under it.
  // The log is flushed after every line, so nothing is lost.
  _exit(0);
}

}  // namespace
}  // namespace backoffice

int main(int argc, char** argv) {
  return backoffice::Run(argc, argv);
}
