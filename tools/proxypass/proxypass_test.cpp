// Runs the built proxypass with a password on standard input and checks that
// it prints what the launcher's own cipher makes of that password with the
// launcher's own key for the user: what an administrator writes is what the
// launcher reads (the Windows-side proxy scene reads it back through a proxy).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "crypto/cipher.h"
#include "shell/proxy_settings.h"

extern char** environ;

namespace {

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs proxypass with `arguments`, `input` as its standard input.
Result RunTool(const std::vector<std::string>& arguments, const std::string& input) {
  char pattern[] = "/tmp/proxypass-test-XXXXXX";
  const std::string dir = mkdtemp(pattern) != nullptr ? pattern : "/nonexistent";
  const std::string in = dir + "/in", out = dir + "/out", err = dir + "/err";
  std::ofstream(in, std::ios::binary) << input;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

  std::vector<std::string> owned{HTA_PROXYPASS_EXE};
  owned.insert(owned.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : owned) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);

  Result result;
  pid_t pid = 0;
  if (posix_spawn(&pid, HTA_PROXYPASS_EXE, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
      result.exitCode = WEXITSTATUS(status);
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  std::filesystem::remove_all(dir);
  return result;
}

// The line the launcher reads back as `password` for `user`.
std::string StoredLine(const std::string& password, const std::string& user) {
  return hta::Encrypt(password, hta::ProxyPasswordKey(user)) + "\n";
}

// Only the first line end goes (CR LF as LF; none at all is fine); blanks and
// every other byte are part of the password, and the user is part of the key.
TEST(ProxyPassTool, PrintsTheLaunchersStoredFormOfTheFirstLine) {
  std::string everyByte;
  for (int c = 1; c < 256; ++c) {
    everyByte += c == '\n' || c == '\r' ? std::string() : std::string(1, static_cast<char>(c));
  }
  everyByte.resize(200);
  const struct {
    std::string user, input, password;
  } cases[] = {
      {"hta-proxy", "pr0xy-secret\n", "pr0xy-secret"},
      {"u", " pass word \r\n", " pass word "},
      {"u", " pass word ", " pass word "},
      {"u", " pass word \nsecond line\n", " pass word "},
      {"DOMAIN\\J\xf6rg Smith", everyByte + "\r\n", everyByte},
      {"u", "", ""},
      {"u", "\r\n", ""},
      {"", "pw\n", "pw"},
      {"u", std::string(511, 'p') + "\n", std::string(511, 'p')},  // 1022 digits: within the INI read's 1023
  };
  for (const auto& c : cases) {
    const Result r = RunTool({c.user}, c.input);
    EXPECT_EQ(r.exitCode, 0) << c.user << ": " << r.err;
    EXPECT_EQ(r.out, StoredLine(c.password, c.user)) << c.user;
    EXPECT_TRUE(r.err.empty()) << r.err;
  }
  EXPECT_EQ(StoredLine("pw", "u").find_first_not_of("0123456789ABCDEF"), 4u) << "hexadecimal pairs";
}

// Nothing on standard output that could end up in an INI file: a password the
// launcher could not read back whole, and wrong arguments.
TEST(ProxyPassTool, RefusesWhatTheLauncherCouldNotReadBackAndWrongArguments) {
  const struct {
    std::vector<std::string> arguments;
    std::string input;
    int exitCode;
    const char* message;
  } cases[] = {
      {{"u"}, std::string(512, 'p') + "\n", 1, "511"},
      {{}, "pw\n", 2, "usage: proxypass PROXYUSER < password.txt"},
      {{"a", "b"}, "pw\n", 2, "usage: proxypass PROXYUSER < password.txt"},
  };
  for (const auto& c : cases) {
    const Result r = RunTool(c.arguments, c.input);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  const Result help = RunTool({"--help"}, "");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage:"), std::string::npos);
}

}  // namespace
