#include "shell/command_line.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "common/ascii.h"

// Set by the build from a cache variable: the endpoints, separated by
// blanks (an address never holds one).
#ifndef HTA_BOOTSTRAP_ENDPOINTS
#error "HTA_BOOTSTRAP_ENDPOINTS must be set by the build"
#endif

namespace hta {
namespace {

constexpr std::string_view kBootstrapOption = "--bootstrap";
constexpr std::string_view kLogLevelOption = "--log-level";

bool IsSeparator(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> DefaultBootstrapEndpoints() {
  const std::string_view list = HTA_BOOTSTRAP_ENDPOINTS;
  std::vector<std::string> endpoints;
  std::size_t position = 0;
  while (position < list.size()) {
    const std::size_t end = std::min(list.find(' ', position), list.size());
    if (end > position) {
      endpoints.emplace_back(list.substr(position, end - position));
    }
    position = end + 1;
  }
  return endpoints;
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  const std::size_t size = commandLine.size();
  for (;;) {
    while (i < size && IsSeparator(commandLine[i])) {
      ++i;
    }
    if (i >= size) {
      break;
    }
    std::string argument;
    bool quoted = false;
    while (i < size && (quoted || !IsSeparator(commandLine[i]))) {
      const char c = commandLine[i];
      if (c == '\\') {
        std::size_t slashes = 0;
        while (i < size && commandLine[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < size && commandLine[i] == '"') {
          argument.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            argument += '"';
            ++i;
          }
          // With an even count the quote is handled as a quote below.
        } else {
          argument.append(slashes, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < size && commandLine[i + 1] == '"') {
          // "" inside quotes is a literal quote, and the quotes go on.
          argument += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument += c;
        ++i;
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::vector<std::string> BootstrapEndpoints(const std::vector<std::string>& arguments) {
  std::vector<std::string> endpoints;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    // An option directly followed by another one has no value; the second
    // one is read as an option in its own right.
    if (arguments[i] != kBootstrapOption || i + 1 >= arguments.size() ||
        arguments[i + 1] == kBootstrapOption) {
      continue;
    }
    ++i;
    if (!arguments[i].empty()) {
      endpoints.push_back(arguments[i]);
    }
  }
  if (endpoints.empty()) {
    return DefaultBootstrapEndpoints();
  }
  return endpoints;
}

std::optional<LogLevel> ParseLogLevel(std::string_view text) {
  if (EqualsIgnoringCase(text, "error")) {
    return LogLevel::Error;
  }
  if (EqualsIgnoringCase(text, "info")) {
    return LogLevel::Info;
  }
  if (EqualsIgnoringCase(text, "debug")) {
    return LogLevel::Debug;
  }
  return std::nullopt;
}

std::optional<LogLevel> LogLevelOption(const std::vector<std::string>& arguments) {
  std::optional<LogLevel> level;
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == kLogLevelOption) {
      if (const std::optional<LogLevel> named = ParseLogLevel(arguments[i + 1])) {
        level = named;
      }
    }
  }
  return level;
}

}  // namespace hta
