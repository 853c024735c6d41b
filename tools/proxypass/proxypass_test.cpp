// Runs the built proxypass with a password on standard input and checks that
// it prints what the launcher's own cipher makes of that password with the
// launcher's own key for the user: what an administrator writes is what the
// launcher reads (the Windows-side proxy scene reads it back through a proxy).

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "crypto/cipher.h"
#include "shell/proxy_settings.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs proxypass through the shell with `arguments` (single-quoted, so none
// may hold a single quote) and `input` as its standard input.
Result RunTool(const std::vector<std::string>& arguments, const std::string& input) {
  const fs::path dir = fs::temp_directory_path() / ("proxypass-test-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "in", std::ios::binary) << input;
  std::string command = HTA_PROXYPASS_EXE;
  for (const std::string& argument : arguments) {
    command += " '" + argument + "'";
  }
  const int status = std::system((command + " <" + (dir / "in").string() + " >" + (dir / "out").string() +
                                  " 2>" + (dir / "err").string())
                                     .c_str());
  Result result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir / "out"), ReadFile(dir / "err")};
  fs::remove_all(dir);
  return result;
}

// The line the launcher reads back as `password` for `user`.
std::string StoredLine(const std::string& password, const std::string& user) {
  return hta::Encrypt(password, hta::ProxyPasswordKey(user)) + "\n";
}

// Only the first line end goes (CR LF as LF; none at all is fine); blanks and
// every other byte are part of the password, and the user is part of the key.
// Nothing goes to standard output that could end up in an INI file when the
// launcher could not read the password back whole, or the arguments are
// wrong.
TEST(ProxyPassTool, PrintsOnlyWhatTheLauncherReadsBack) {
  std::string everyByte;
  for (int c = 1; c < 256; ++c) {
    everyByte += c == '\n' || c == '\r' ? std::string() : std::string(1, static_cast<char>(c));
  }
  everyByte.resize(200);
  const std::string usage = "usage: proxypass PROXYUSER < password.txt";
  const std::string jorg = "DOMAIN\\J\xf6rg Smith";
  const struct {
    std::vector<std::string> arguments;
    std::string input, out;
    int exitCode;
    std::string error;  // a part of standard error; none when empty
  } cases[] = {
      {{"hta-proxy"}, "pr0xy-secret\n", StoredLine("pr0xy-secret", "hta-proxy"), 0, ""},
      {{"u"}, " pass word \r\n", StoredLine(" pass word ", "u"), 0, ""},
      {{"u"}, " pass word ", StoredLine(" pass word ", "u"), 0, ""},
      {{"u"}, " pass word \nsecond line\n", StoredLine(" pass word ", "u"), 0, ""},
      {{jorg}, everyByte + "\r\n", StoredLine(everyByte, jorg), 0, ""},
      {{"u"}, "", StoredLine("", "u"), 0, ""},
      {{"u"}, "\r\n", StoredLine("", "u"), 0, ""},
      {{""}, "pw\n", StoredLine("pw", ""), 0, ""},
      // 1022 digits: within the INI read's 1023
      {{"u"}, std::string(511, 'p') + "\n", StoredLine(std::string(511, 'p'), "u"), 0, ""},
      {{"u"}, std::string(512, 'p') + "\n", "", 1, "511"},
      {{}, "pw\n", "", 2, usage},
      {{"a", "b"}, "pw\n", "", 2, usage},
  };
  for (const auto& c : cases) {
    const Result r = RunTool(c.arguments, c.input);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.input.substr(0, 20) << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.input.substr(0, 20);
    EXPECT_EQ(r.err.empty(), c.error.empty()) << r.err;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
  }
  EXPECT_EQ(StoredLine("pw", "u").find_first_not_of("0123456789ABCDEF"), 4u) << "hexadecimal pairs";
  const Result help = RunTool({"--help"}, "");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage:"), std::string::npos);
}

}  // namespace
