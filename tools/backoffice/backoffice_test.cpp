// Tests of hta-backoffice: its scenario parser as one table, and one smoke
// test of the real program on a scenario in a temporary folder, talked to
// with a plain socket. The routes and faults the Windows-side suites script
// are checked there, through the real WinINet.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "scenario.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Pattern(std::uint64_t from, std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) {
    s[i] = static_cast<char>(backoffice::PatternByte(from + i));
  }
  return s;
}

// A run of the program on `scenario` in a fresh temporary folder, with its
// port file, request log and stderr there; --max-seconds so that even a
// crashed test leaves nothing running for long. The end of the object stops
// a run still going and removes the folder.
class Server {
 public:
  explicit Server(std::string_view scenario) {
    std::string tmpl = (fs::temp_directory_path() / "hta-backoffice-XXXXXX").string();
    dir_ = mkdtemp(tmpl.data()) != nullptr ? tmpl : "";
    std::ofstream(dir_ / "s.txt", std::ios::binary) << scenario;
    std::vector<std::string> args = {HTA_BACKOFFICE_EXE, "--scenario",    Path("s.txt"),
                                     "--port-file",      Path("port"),    "--log",
                                     Path("log.txt"),    "--max-seconds", "30"};
    std::vector<char*> argv;
    for (std::string& a : args) {
      argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, Path("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Server() {
    Stop();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // SIGTERM, then up to 5 s for the end before a kill: the exit code, or -1
  // when it had to be killed or died of a signal.
  int Stop() {
    int status = 0;
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
    }
    for (int i = 0; pid_ > 0 && i < 500; ++i, std::this_thread::sleep_for(10ms)) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    }
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(std::exchange(pid_, -1), &status, 0);
    }
    return -1;
  }

  // The port written to the port file, once it is there (0 if it never is).
  std::uint16_t Port() const {
    for (int i = 0; pid_ > 0 && i < 1000; ++i, std::this_thread::sleep_for(5ms)) {
      const std::string text = File("port");
      if (!text.empty() && text.back() == '\n') {
        return static_cast<std::uint16_t>(std::stoi(text));
      }
    }
    return 0;
  }

  std::string File(const char* name) const { return ReadFile(dir_ / name); }

 private:
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  fs::path dir_;
  pid_t pid_ = -1;
};

// Everything the server at `port` sends in answer to `requests`, up to its
// close or 5 s of silence, so a server bug fails the test instead of hanging it.
std::string Fetch(std::uint16_t port, std::string_view requests) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string got;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      send(fd, requests.data(), requests.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(requests.size())) {
    char block[16384];
    for (ssize_t n = 0; (n = recv(fd, block, sizeof block, 0)) > 0;) {
      got.append(block, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  return got;
}

// One served reply, as a smoke test of the program: every route and fault
// the Windows-side suites script is seen there, through the real WinINet.
// Pipelined on one connection: a HEAD as WinINet sends it (HTTP/1.0, asking
// to keep the connection) gets no body, HTTP/1.1 keeps the connection, a path
// no route names gets 404, and HTTP/1.0 alone closes. The log keeps each
// request's query and fields, and never the log's own fetch.
TEST(BackofficeProgram, ServesPipelinedRequestsInOrder) {
  Server server("route /hello\n  header Content-Type: text/plain\n  body Hello, world!\n");
  const std::uint16_t port = server.Port();
  ASSERT_NE(port, 0) << server.File("stderr.txt");
  const std::string hello = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 13\r\n";
  const std::string all =
      Fetch(port,
            "HEAD /hello HTTP/1.0\r\nConnection: keep-alive\r\n\r\nGET /hello?t=17&u=a%20b HTTP/1.1\r\n"
            "X-Odd: tab\there\r\n\r\nGET /nowhere HTTP/1.1\r\n\r\nGET /hello HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(
      all.starts_with(hello + "Connection: keep-alive\r\n\r\n" + hello + "\r\nHello, world!HTTP/1.1 404 "))
      << all;
  EXPECT_TRUE(all.ends_with("</html>\n" + hello + "Connection: close\r\n\r\nHello, world!")) << all;
  const std::string raw = Fetch(port, "GET /__requests HTTP/1.0\r\n\r\n");
  const std::string log = raw.substr(std::min(raw.find("\r\n\r\n") + 4, raw.size()));
  EXPECT_EQ(log,
            "1\tHEAD\t/hello\tConnection: keep-alive\n2\tGET\t/hello?t=17&u=a%20b\tX-Odd: tab here\n"
            "3\tGET\t/nowhere\n4\tGET\t/hello\n");
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(server.File("log.txt"), log);
}

// A "conditional" route answers the server's own ETag (If-None-Match wins)
// or, without one, its own Last-Modified with 304 and no body, and anything
// else with the whole response.
TEST(BackofficeProgram, AConditionalRouteAnswersItsOwnValidatorsWith304) {
  Server server(
      "route /f\n  header ETag: \"v1\"\n  header Last-Modified: Mon, 07 Dec 2026 08:00:00 GMT\n"
      "  conditional\n  body data\n");
  const std::uint16_t port = server.Port();
  ASSERT_NE(port, 0) << server.File("stderr.txt");
  const std::string all = Fetch(port,
                                "GET /f HTTP/1.1\r\nIf-None-Match: \"v0\", \"v1\"\r\n\r\n"
                                "GET /f HTTP/1.1\r\nIf-None-Match: \"v2\"\r\n"
                                "If-Modified-Since: Mon, 07 Dec 2026 08:00:00 GMT\r\n\r\n"
                                "GET /f HTTP/1.1\r\nIf-Modified-Since: Mon, 07 Dec 2026 08:00:00 GMT\r\n\r\n"
                                "GET /f HTTP/1.1\r\nConnection: close\r\n\r\n");
  const std::string notModified =
      "HTTP/1.1 304 Not Modified\r\nETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec 2026 08:00:00 GMT\r\n\r\n";
  const std::string whole =
      "HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec 2026 08:00:00 GMT\r\nContent-Length: "
      "4\r\n";
  EXPECT_EQ(all, notModified + whole + "\r\ndata" + notModified + whole + "Connection: close\r\n\r\ndata");
  // What the answers cost, without the count's own answer.
  const std::string sent = Fetch(port, "GET /__sent HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(sent.ends_with("\r\n\r\n" + std::to_string(all.size()) + "\n")) << sent;
}

// Each scenario either parses (empty message; CRLF line ends, body lines
// joined by "\n" and generated bytes read back from any offset) or names its
// first bad line.
TEST(BackofficeParts, ScenarioParser) {
  const struct {
    const char* text;
    int line;
    const char* message;
  } cases[] = {
      {"route /a\r\nbody one \r\nbody two\r\nbody-bytes 3\r\nbody three\r\n", 0, ""},
      {"route /a\nbody-wave 800\n", 0, ""},
      {"route /a\nbody-wave many\n", 2, "'body-wave' wants a sample count"},
      {"# c\nbody outside\n", 2, "'body' outside a route"},
      {"route /a\nend\nroute /a\n", 3, "route /a already defined on line 1"},
      {"route /a\nbody-file missing.bin\n", 2, "cannot read body file"},
      {"route /a\nstatus HTTP/1.1 200 OK\nstatus HTTP/1.1 404 No\n", 3, "given twice in one response"},
      {"route /a\nstatus HTTP/1.1 200 OK\nnext\nstatus HTTP/1.1 404 No\n", 0, ""},
      {"route /a\nheader Content-Length: 3\n", 2, "set the framing with 'content-length' or 'chunked'"},
      {"route /a\ncontent-length 3\nchunked\n", 3, "cannot be combined"},
      {"route /a\ndrip 0 5\n", 2, "'drip' wants BYTES MILLISECONDS"},
      {"route /a\nstall 600001\n", 2, "'stall' wants milliseconds"},
      {"route /a*b\n", 1, "'*' may only end a route path"},
      {"route /__requests\n", 1, "the server's own request log"},
      {"route /a\nproxy-auth u:p\n", 2, "'proxy-auth' must come before the first route"},
      {"route /a\nconditional yes\n", 2, "'conditional' takes no argument"},
  };
  for (const auto& c : cases) {
    backoffice::Scenario s;
    const auto err = backoffice::ParseScenario(c.text, ".", &s);
    EXPECT_EQ(err ? err->line : 0, c.line) << c.text;
    EXPECT_NE((err ? err->message : std::string()).find(c.message), std::string::npos) << c.text;
  }
  backoffice::Scenario s;
  ASSERT_FALSE(backoffice::ParseScenario(cases[0].text, ".", &s));
  const backoffice::Response& r = s.routes.at(0).responses.at(0);
  std::string body(r.BodySize(), '\0');
  r.ReadBody(0, body.data(), body.size());
  EXPECT_EQ(body, "one \ntwo" + Pattern(0, 3) + "three");
  std::string tail(4, '\0');
  r.ReadBody(9, tail.data(), 4);
  EXPECT_EQ(tail, Pattern(1, 2) + "th");
}

}  // namespace
