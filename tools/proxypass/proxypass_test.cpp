// Runs the built proxypass with a password on standard input and checks that
// the launcher's own decryption, with the launcher's own key, gives the
// password back: what an administrator writes is what the launcher reads.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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

// A scratch folder of this test process, removed at the end.
class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/proxypass-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    dir_ = made != nullptr ? made : "";
  }
  ~Scratch() {
    for (const char* name : {"/in", "/out", "/err"}) {
      std::remove((dir_ + name).c_str());
    }
    rmdir(dir_.c_str());
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

// Runs proxypass with `arguments`, `input` as its standard input.
Result RunTool(const std::vector<std::string>& arguments, const std::string& input) {
  Scratch scratch;
  const std::string in = scratch.dir() + "/in";
  const std::string out = scratch.dir() + "/out";
  const std::string err = scratch.dir() + "/err";
  {
    std::ofstream file(in, std::ios::binary);
    file << input;
  }
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
  return result;
}

// The password the launcher would read from `stored` (the output without
// its newline) for `user`.
std::string LauncherReads(const std::string& stored, const std::string& user) {
  const std::optional<std::string> password = hta::Decrypt(stored, hta::ProxyPasswordKey(user));
  EXPECT_TRUE(password) << "the stored form is whole hexadecimal pairs";
  return password.value_or(std::string());
}

std::string WithoutNewline(const std::string& out) {
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(out.back(), '\n') << "the hex text ends with a newline";
  return out.empty() ? out : out.substr(0, out.size() - 1);
}

TEST(ProxyPassTool, TheLauncherDecryptsWhatItPrints) {
  const Result r = RunTool({"hta-proxy"}, "pr0xy-secret\n");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string stored = WithoutNewline(r.out);
  EXPECT_EQ(stored.size(), 2 * std::string("pr0xy-secret").size());
  EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos) << stored;
  EXPECT_EQ(LauncherReads(stored, "hta-proxy"), "pr0xy-secret");
  EXPECT_EQ(stored, hta::Encrypt("pr0xy-secret", hta::ProxyPasswordKey("hta-proxy")));
  EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(ProxyPassTool, StripsOnlyTheLineEnd) {
  const std::string plain = WithoutNewline(RunTool({"u"}, " pass word \n").out);
  EXPECT_EQ(LauncherReads(plain, "u"), " pass word ") << "blanks are part of the password";
  EXPECT_EQ(WithoutNewline(RunTool({"u"}, " pass word \r\n").out), plain) << "CR LF as LF";
  EXPECT_EQ(WithoutNewline(RunTool({"u"}, " pass word ").out), plain) << "no line end at all";
  EXPECT_EQ(WithoutNewline(RunTool({"u"}, " pass word \nsecond line\n").out), plain) << "the first line only";
}

TEST(ProxyPassTool, KeepsEveryByteAndDependsOnTheUser) {
  std::string password;
  for (int c = 1; c < 256; ++c) {
    if (c != '\n' && c != '\r') {
      password += static_cast<char>(c);
    }
  }
  password.resize(200);
  const Result r = RunTool({"DOMAIN\\J\xf6rg Smith"}, password + "\r\n");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string stored = WithoutNewline(r.out);
  EXPECT_EQ(LauncherReads(stored, "DOMAIN\\J\xf6rg Smith"), password);
  EXPECT_NE(LauncherReads(stored, "DOMAIN\\Jorg Smith"), password) << "the user name is part of the key";
  EXPECT_NE(WithoutNewline(RunTool({"someone else"}, password + "\r\n").out), stored);
}

TEST(ProxyPassTool, AnEmptyPasswordGivesAnEmptyLine) {
  for (const char* input : {"", "\n", "\r\n"}) {
    const Result r = RunTool({"u"}, input);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "\n");
  }
  EXPECT_EQ(RunTool({""}, "pw\n").exitCode, 0) << "an empty user is a user the INI file may name";
}

TEST(ProxyPassTool, RefusesWhatTheLauncherCouldNotReadBack) {
  const Result fits = RunTool({"u"}, std::string(511, 'p') + "\n");
  EXPECT_EQ(fits.exitCode, 0);
  EXPECT_EQ(fits.out.size(), 2 * 511 + 1u) << "1022 digits: within the 1023 the INI read gives";

  const Result tooLong = RunTool({"u"}, std::string(512, 'p') + "\n");
  EXPECT_EQ(tooLong.exitCode, 1);
  EXPECT_TRUE(tooLong.out.empty());
  EXPECT_NE(tooLong.err.find("511"), std::string::npos) << tooLong.err;
}

TEST(ProxyPassTool, WrongArgumentsShowTheUsageAndExitWith2) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"a", "b"}}) {
    const Result r = RunTool(arguments, "pw\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.empty()) << "nothing on standard output that could end up in an INI file";
    EXPECT_NE(r.err.find("usage: proxypass PROXYUSER < password.txt"), std::string::npos) << r.err;
  }
  const Result help = RunTool({"--help"}, "");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage:"), std::string::npos);
}

}  // namespace
