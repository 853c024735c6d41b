#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ports/dialogs.h"
#include "settings/ini_file.h"
#include "transfer/internet_file.h"

namespace hta {

// The INI file's proxy section and its keys.
inline constexpr std::string_view kProxySection = "proxy";
inline constexpr std::string_view kProxyServerKey = "ProxyServer";
inline constexpr std::string_view kProxyPortKey = "ProxyPort";
inline constexpr std::string_view kProxyUserKey = "ProxyUser";
inline constexpr std::string_view kProxyPassKey = "ProxyPass";

// The key that turns the stored "ProxyPass" into the password and back
// (Decrypt / Encrypt): the proxy user's name, a fixed text, the sine of a
// fixed number written as text, and a second fixed text. The user's name
// makes the key differ per user; the rest is never stored whole anywhere.
//
// The number's text always has "." as its decimal separator, whatever the
// regional settings: one INI file serves every machine, and the tool that
// writes "ProxyPass" computes the same key wherever it runs.
std::string ProxyPasswordKey(const std::string& proxyUser);

// A double as text the way the program has always written numbers into
// keys: up to 15 significant digits, no trailing zeros, "." as decimal
// separator, a leading "-" when negative, and "E+NN" / "E-NN" where the
// exponent form is shorter (1E-05). Independent of the C and C++ locales.
std::string NumberText(double value);

// The "ProxyPort" text as a port: a whole decimal number from 1 to 65535,
// blanks around it allowed. nullopt for anything else (empty, not a number,
// out of range).
std::optional<std::uint16_t> ParseProxyPort(std::string_view text);

// The four proxy settings as stored (the password in its stored form), from
// the INI file or from the policies.
struct ProxyValues {
  std::string server;
  std::string port;
  std::string user;
  std::string storedPassword;
};

// Reads the four proxy keys from `ini` in the order server, port, user,
// password and applies them (ApplyProxySettings).
void LoadProxySettings(const IniFile& ini, InternetFile& control, Dialogs& dialogs);

// Decrypts the password (when there is one) and configures `control`:
// - with a server and a usable port: ProxyServer, ProxyPort, ConnectType 1
//   (the named proxy), ProxyUser, ProxyPassword, in that order (never as the
//   site's credentials);
// - otherwise (no server, no port, or a port that is not a usable number):
//   only ConnectType 0, the system's own connection settings.
// A stored password that is not whole hexadecimal pairs is reported through
// `dialogs` (a critical "Data corrupted" box) and counts as empty. `source`
// ("INI", "policy") is for the log line.
void ApplyProxySettings(const ProxyValues& values, std::string_view source, InternetFile& control,
                        Dialogs& dialogs);

}  // namespace hta
