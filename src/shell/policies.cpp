#include "shell/policies.h"

#include <cstdint>
#include <cstring>
#include <span>

#include "shell/command_line.h"
#include "shell/https_policy.h"

namespace hta {
namespace {

// More than any list of addresses needs; a larger value is not read.
constexpr std::uint32_t kPolicyValueLimit = 64 * 1024;

enum class Found { Absent, Unreadable, Present };

Found ReadUnder(RegistryCalls& registry, RegistryRoot root, const std::string& name, PolicyValue& value) {
  const std::string keyPath(kPolicyKey);
  RegistryKey key;
  const std::int32_t opened =
      registry.OpenKey(static_cast<std::uint32_t>(root), keyPath.c_str(), kRegistryKeyRead, key);
  if (opened == kRegistryFileNotFound) {
    return Found::Absent;
  }
  if (opened != kRegistrySuccess) {
    return Found::Unreadable;
  }
  std::uint32_t size = 0;
  std::int32_t queried = registry.QueryValue(key, name.c_str(), value.type, {}, size);
  std::string data(size, '\0');
  if (queried == kRegistrySuccess && size > 0 && size <= kPolicyValueLimit) {
    queried = registry.QueryValue(key, name.c_str(), value.type,
                                  std::span(reinterpret_cast<std::uint8_t*>(data.data()), data.size()), size);
  }
  registry.CloseKey(key);
  if (queried == kRegistryFileNotFound) {
    return Found::Absent;
  }
  if (queried != kRegistrySuccess || size > data.size()) {
    return Found::Unreadable;
  }
  data.resize(size);
  value.data = std::move(data);
  return Found::Present;
}

// A REG_SZ's text without its terminating NUL, or nullopt (logged) when
// the value is of another type.
std::optional<std::string> PolicyText(RegistryCalls& registry, std::string_view name) {
  bool unreadable = false;
  const std::optional<PolicyValue> value = ReadPolicyValue(registry, name, unreadable);
  if (!value) {
    return std::nullopt;
  }
  if (value->type != kRegistryString) {
    LogError("Policy " + std::string(name) + " ignored: not a REG_SZ value");
    return std::nullopt;
  }
  return value->data.substr(0, value->data.find('\0'));
}

// A REG_MULTI_SZ's strings, the empty ones left out.
std::vector<std::string> PolicyList(RegistryCalls& registry, std::string_view name) {
  bool unreadable = false;
  const std::optional<PolicyValue> value = ReadPolicyValue(registry, name, unreadable);
  std::vector<std::string> list;
  if (!value) {
    return list;
  }
  if (value->type != kRegistryMultiString) {
    LogError("Policy " + std::string(name) + " ignored: not a REG_MULTI_SZ value");
    return list;
  }
  std::size_t position = 0;
  while (position < value->data.size()) {
    const std::size_t end = std::min(value->data.find('\0', position), value->data.size());
    if (end > position) {
      list.push_back(value->data.substr(position, end - position));
    }
    position = end + 1;
  }
  return list;
}

}  // namespace

std::optional<PolicyValue> ReadPolicyValue(RegistryCalls& registry, std::string_view name, bool& unreadable) {
  const std::string valueName(name);
  for (const RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
    PolicyValue value;
    const Found found = ReadUnder(registry, root, valueName, value);
    if (found == Found::Present) {
      return value;
    }
    unreadable = unreadable || found == Found::Unreadable;
  }
  return std::nullopt;
}

bool ReadRequireHttpsPolicy(RegistryCalls& registry) {
  bool unreadable = false;
  const std::optional<PolicyValue> value = ReadPolicyValue(registry, kRequireHttpsValue, unreadable);
  if (!value) {
    if (unreadable) {
      LogError("Policy RequireHttps unreadable: HTTPS required");
    }
    return unreadable;
  }
  std::uint32_t number = 0;
  if (value->type != kRegistryDword || value->data.size() != sizeof number) {
    LogError("Policy RequireHttps unreadable: HTTPS required");
    return true;
  }
  std::memcpy(&number, value->data.data(), sizeof number);
  return number != 0;
}

Policies ReadPolicies(RegistryCalls& registry) {
  Policies policies;
  policies.bootstrapEndpoints = PolicyList(registry, "BootstrapEndpoints");
  if (std::optional<std::string> server = PolicyText(registry, kProxyServerKey); server && !server->empty()) {
    policies.proxy = ProxyValues{*server, PolicyText(registry, kProxyPortKey).value_or(""),
                                 PolicyText(registry, kProxyUserKey).value_or(""),
                                 PolicyText(registry, kProxyPassKey).value_or("")};
  }
  policies.requireHttps = ReadRequireHttpsPolicy(registry);
  if (const std::optional<std::string> level = PolicyText(registry, "LogLevel")) {
    policies.logLevel = ParseLogLevel(*level);
    if (!policies.logLevel) {
      LogError("Policy LogLevel ignored: not error, info or debug");
    }
  }
  return policies;
}

EndpointChoice ChooseEndpoints(const Policies& policies, const std::vector<std::string>& arguments) {
  if (!policies.bootstrapEndpoints.empty()) {
    return {policies.bootstrapEndpoints, "policy"};
  }
  std::vector<std::string> endpoints = BootstrapEndpoints(arguments);
  const bool builtIn = endpoints == DefaultBootstrapEndpoints();
  return {std::move(endpoints), builtIn ? "built-in" : "command line"};
}

LogLevel ChooseLogLevel(const Policies& policies, const std::vector<std::string>& arguments) {
  const LogLevel policy = policies.logLevel.value_or(LogLevel::Info);
  const std::optional<LogLevel> option = LogLevelOption(arguments);
  return option && *option > policy ? *option : policy;
}

}  // namespace hta
