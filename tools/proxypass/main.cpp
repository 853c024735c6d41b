// proxypass: prints the stored form of a proxy password, the text an
// administrator puts after "ProxyPass=" in the launcher's INI file.
//
//   proxypass PROXYUSER < password.txt
//
// The password is the first line of standard input, without its line end
// (LF or CR LF), taken byte for byte: write it in the code page the
// launcher's machines use. It is read from a file or a pipe, never from the
// command line, where other users could read it in the process list and
// the shell would keep it in its history.
//
// The stored form is only obfuscation: anyone holding this program (or the
// launcher) and the INI file can recover the password. Protect the INI file
// like the password itself.

#include <cstdio>
#include <string>
#include <string_view>

#include "crypto/cipher.h"
#include "shell/proxy_settings.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// The launcher reads at most 1023 characters of a value; two hexadecimal
// digits a byte make 511 bytes the longest password it can read back whole.
constexpr std::size_t kLongestPassword = 511;

constexpr std::string_view kUsage =
    "usage: proxypass PROXYUSER < password.txt\n"
    "\n"
    "Prints the stored form of the proxy password for the proxy user PROXYUSER:\n"
    "the text for \"ProxyPass=\" in the [proxy] section of the launcher's INI file.\n"
    "The password is the first line of standard input, without its line end.\n"
    "PROXYUSER must be written exactly as after \"ProxyUser=\" in the same file:\n"
    "it is part of the key.\n";

void Print(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

// The first line of standard input without its line end. False on a read
// error.
bool ReadFirstLine(std::string& line) {
#ifdef _WIN32
  // Bytes as they are: in text mode the C runtime would end the input at a
  // Ctrl+Z byte, which may well be part of a password.
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  for (;;) {
    const int c = std::fgetc(stdin);
    if (c == EOF) {
      break;
    }
    if (c == '\n') {
      break;
    }
    line += static_cast<char>(c);
  }
  if (std::ferror(stdin)) {
    return false;
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return true;
}

// Overwrites the password's bytes before the memory is given back, so it
// lingers in no freed block. (A volatile write the compiler cannot drop.)
void Wipe(std::string& secret) {
  volatile char* bytes = secret.data();
  for (std::size_t i = 0; i < secret.size(); ++i) {
    bytes[i] = 0;
  }
  secret.clear();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    Print(stdout, kUsage);
    return 0;
  }
  if (argc != 2) {
    Print(stderr, kUsage);
    return 2;
  }
  const std::string proxyUser = argv[1];

  std::string password;
  if (!ReadFirstLine(password)) {
    Wipe(password);
    Print(stderr, "proxypass: cannot read the password from standard input\n");
    return 1;
  }
  if (password.size() > kLongestPassword) {
    Wipe(password);
    Print(stderr, "proxypass: the password is longer than 511 bytes; the launcher could not read it back\n");
    return 1;
  }

  std::string stored = hta::Encrypt(password, hta::ProxyPasswordKey(proxyUser));
  Wipe(password);
  stored += '\n';
  Print(stdout, stored);
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
