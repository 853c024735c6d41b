#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/log.h"

namespace hta {

// The bootstrap endpoints this build was made with (the build's
// HTA_BOOTSTRAP_ENDPOINTS), in the order they are tried.
std::vector<std::string> DefaultBootstrapEndpoints();

// Splits a command line's arguments (WinMain's, without the program name)
// the way the Windows C runtime does: blanks and tabs separate arguments;
// double quotes group blanks into one argument and are removed; 2N
// backslashes before a quote give N backslashes and the quote acts,
// 2N+1 give N backslashes and a literal quote; other backslashes stay.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The bootstrap endpoints for this run: the value of every
// "--bootstrap URL" pair among the arguments, in order, replacing the
// built-in ones (for a staging back office, and for the tests); the
// built-in ones when there is none. Any other argument is ignored, and so is
// a "--bootstrap" with nothing after it or with an empty value. The values
// are not checked further: a wrong address fails visibly at the login
// instead of silently falling back to the production endpoints.
std::vector<std::string> BootstrapEndpoints(const std::vector<std::string>& arguments);

// "error", "info" or "debug" (any case), as a policy or "--log-level"
// names a log level; nullopt for anything else.
std::optional<LogLevel> ParseLogLevel(std::string_view text);

// The level of the last "--log-level error|info|debug" among the
// arguments: this run's log, for a user asked by support to try once more.
// nullopt when there is none with a known level.
std::optional<LogLevel> LogLevelOption(const std::vector<std::string>& arguments);

}  // namespace hta
