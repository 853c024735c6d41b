#include "shell/proxy_settings.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

#include "common/trim.h"
#include "crypto/cipher.h"
#include "ports/log.h"

namespace hta {
namespace {

// The fixed parts of the password key. Changing any of them makes every
// stored "ProxyPass" unreadable: the administrator tool builds its key with
// ProxyPasswordKey too, so both always agree.
constexpr std::string_view kKeyPartA = "Vn8#qL2!tR7$wZ4&kP9*mX3";  // 23 characters
constexpr std::string_view kKeyPartB = "h0 Gy!5 eB@ 6uJ^ 1s";      // 19 characters
// Its sine, -0.869003739031916 to 15 digits, lies far enough from a
// rounding boundary of the 15th digit that every correct sine routine gives
// the same text.
constexpr double kKeyNumber = 5.23;

constexpr const char* kCorruptedText = "Data string is corrupted.  Cannot be Decrypted.";
constexpr const char* kCorruptedCaption = "Data corrupted";

}  // namespace

std::string NumberText(double value) {
  if (value == 0.0) {
    return "0";  // also for -0
  }
  std::array<char, 64> buffer{};
  // std::to_chars never looks at the locale.
  const auto [end, error] =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 15);
  if (error != std::errc()) {
    return std::string();
  }
  std::string text(buffer.data(), end);
  // The exponent as the program writes it: upper-case "E" and at least two
  // digits with their sign, as to_chars already gives them.
  for (char& c : text) {
    if (c == 'e') {
      c = 'E';
    }
  }
  return text;
}

std::string ProxyPasswordKey(const std::string& proxyUser) {
  return proxyUser + std::string(kKeyPartA) + NumberText(std::sin(kKeyNumber)) + std::string(kKeyPartB);
}

std::optional<std::uint16_t> ParseProxyPort(std::string_view text) {
  const std::string trimmed(Trim(text, " "));
  if (trimmed.empty()) {
    return std::nullopt;
  }
  int port = 0;
  const char* first = trimmed.data();
  const char* last = trimmed.data() + trimmed.size();
  // No sign, no "+": only digits.
  if (*first < '0' || *first > '9') {
    return std::nullopt;
  }
  const auto [end, error] = std::from_chars(first, last, port);
  if (error != std::errc() || end != last || port < 1 || port > 65535) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(port);
}

void LoadProxySettings(const IniFile& ini, InternetFile& control, Dialogs& dialogs) {
  const std::string section(kProxySection);
  const std::string server = ini.Setting(section, std::string(kProxyServerKey));
  const std::string portText = ini.Setting(section, std::string(kProxyPortKey));
  const std::string user = ini.Setting(section, std::string(kProxyUserKey));
  const std::string password = ini.Setting(section, std::string(kProxyPassKey));
  ApplyProxySettings(ProxyValues{server, portText, user, password}, "INI", control, dialogs);
}

void ApplyProxySettings(const ProxyValues& values, std::string_view source, InternetFile& control,
                        Dialogs& dialogs) {
  const std::string& server = values.server;
  const std::string& user = values.user;
  std::string password = values.storedPassword;
  if (!password.empty()) {
    const std::optional<std::string> plain = Decrypt(password, ProxyPasswordKey(user));
    if (!plain) {
      dialogs.ShowMessage(kCorruptedText, kCorruptedCaption, MessageIcon::Critical);
    }
    password = plain.value_or(std::string());
  }

  const std::optional<std::uint16_t> port = ParseProxyPort(values.port);
  if (server.empty() || !port) {
    LogInfo("Proxy: none (the system's settings)");
    control.ConnectType(0);
    return;
  }
  LogInfo("Proxy: " + server + ":" + std::to_string(*port) + ", user " + user + ", from " +
          std::string(source));
  control.ProxyServer(server);
  // The control keeps the port in a signed 16-bit field: a port above 32767
  // goes in as its bit pattern, which the control writes out unsigned.
  control.ProxyPort(static_cast<std::int16_t>(*port));
  control.ConnectType(1);
  control.ProxyUser(user);
  // The proxy's credentials go to the proxy only: as the site's, any server
  // could ask for them with a 401.
  control.ProxyPassword(password);
}

}  // namespace hta
