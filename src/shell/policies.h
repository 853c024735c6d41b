#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/log.h"
#include "ports/registry.h"
#include "shell/proxy_settings.h"

namespace hta {

// What an administrator set under the policy key (kPolicyKey of
// shell/https_policy.h), read once at start-up. Each value is taken from
// HKEY_LOCAL_MACHINE when it is there, else from HKEY_CURRENT_USER. A value
// of the wrong type is logged and counts as not there (RequireHttps
// excepted: see ReadRequireHttpsPolicy); nothing here is ever fatal.
struct Policies {
  // BootstrapEndpoints (REG_MULTI_SZ, one address a string, in order);
  // empty: not set.
  std::vector<std::string> bootstrapEndpoints;
  // ProxyServer, ProxyPort, ProxyUser and ProxyPass (REG_SZ, as the INI's
  // keys, the password in its stored form); set when ProxyServer is, and
  // then the INI's proxy section is not read.
  std::optional<ProxyValues> proxy;
  bool requireHttps = false;
  // LogLevel (REG_SZ "error", "info" or "debug").
  std::optional<LogLevel> logLevel;
};

Policies ReadPolicies(RegistryCalls& registry);

// The endpoints of this run and where they came from ("policy", "command
// line", "built-in"): the policy's win over "--bootstrap", which wins over
// the build's own. The administrator's setting is not for a user's shortcut
// to undo.
struct EndpointChoice {
  std::vector<std::string> endpoints;
  std::string source;
};
EndpointChoice ChooseEndpoints(const Policies& policies, const std::vector<std::string>& arguments);

// The policy's level (else "info"), raised, never lowered, by a
// "--log-level" of this run.
LogLevel ChooseLogLevel(const Policies& policies, const std::vector<std::string>& arguments);

// One policy value as stored: the machine's when there, else the user's.
// nullopt when neither is there. `unreadable` is set when a key or value
// was there but could not be read (it then counts as not there).
struct PolicyValue {
  std::uint32_t type = 0;
  std::string data;
};
std::optional<PolicyValue> ReadPolicyValue(RegistryCalls& registry, std::string_view name, bool& unreadable);

}  // namespace hta
