#pragma once

// The Windows-side tests' view of the loopback back office
// (tools/backoffice): where it listens and what it has been asked.
//
// CTest starts the servers before the tests (tests/windows/CMakeLists.txt)
// and tells them the folder of the port files in HTA_BACKOFFICE_DIR, a Unix
// path, which Wine passes through from the Linux environment. Wine shows the
// Unix file system as drive Z:.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "win32/win32_file_system.h"
#include "win32/win32_headers.h"

namespace hta::wintest {

inline constexpr const char* kBackOfficeDirVariable = "HTA_BACKOFFICE_DIR";

// A Unix path as Wine's programs reach it: Z: and backslashes.
inline std::string WindowsPath(std::string unixPath) {
  std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
  return "Z:" + unixPath;
}

// One line of the server's request log.
struct LoggedRequest {
  int sequence = 0;
  std::string method;
  std::string target;  // as sent: the absolute URL when sent to a proxy
  std::vector<std::pair<std::string, std::string>> headers;

  // The first value of the header of that name (any letter case).
  std::optional<std::string> Header(const std::string& name) const {
    for (const auto& [field, value] : headers) {
      if (lstrcmpiA(field.c_str(), name.c_str()) == 0) {
        return value;
      }
    }
    return std::nullopt;
  }

  // The target's path: without scheme and host (a proxy gets the absolute
  // address) and without the query.
  std::string Path() const {
    const std::string path = target.substr(0, target.find('?'));
    return path.rfind("http://", 0) == 0 ? path.substr(std::min(path.find('/', 7), path.size())) : path;
  }

  // The line as the log has it, for failure messages.
  std::string Describe() const {
    std::string text = std::to_string(sequence) + " " + method + " " + target;
    for (const auto& [field, value] : headers) {
      text += "\n    " + field + ": " + value;
    }
    return text;
  }
};

// Splits the log: lines at LF, fields at TAB; 0 the number, 1 the method,
// 2 the target, then one header a field, name and value split at ": ".
inline std::vector<LoggedRequest> ParseRequestLog(const std::string& log) {
  std::vector<LoggedRequest> requests;
  for (std::size_t start = 0; start < log.size();) {
    const std::size_t end = log.find('\n', start);
    if (end == std::string::npos) {
      break;
    }
    std::vector<std::string> fields;
    for (std::size_t at = start; at <= end;) {
      const std::size_t tab = std::min(log.find('\t', at), end);
      fields.push_back(log.substr(at, tab - at));
      at = tab + 1;
    }
    start = end + 1;
    if (fields.size() < 3) {
      continue;
    }
    LoggedRequest request{std::atoi(fields[0].c_str()), fields[1], fields[2], {}};
    for (std::size_t i = 3; i < fields.size(); ++i) {
      const std::size_t colon = std::min(fields[i].find(": "), fields[i].size());
      request.headers.emplace_back(fields[i].substr(0, colon),
                                   fields[i].substr(std::min(colon + 2, fields[i].size())));
    }
    requests.push_back(std::move(request));
  }
  return requests;
}

// One running server, found by the name of its scenario file.
class BackOffice {
 public:
  // Whether the tests run under CTest's fixture at all (a test run by hand
  // without the servers is skipped, not failed).
  static bool Configured() { return std::getenv(kBackOfficeDirVariable) != nullptr; }

  // The server of NAME.scenario; nullopt with `why` set when its port file
  // cannot be read.
  static std::optional<BackOffice> Find(const std::string& name, std::string& why) {
    const char* dir = std::getenv(kBackOfficeDirVariable);
    if (dir == nullptr) {
      why = std::string(kBackOfficeDirVariable) + " is not set";
      return std::nullopt;
    }
    const std::string base = WindowsPath(std::string(dir) + "/" + name);
    const std::string portFile = base + ".port";
    const auto text = win32::Win32FileSystem().ReadAll(portFile);
    const int port = text ? std::atoi(text->c_str()) : 0;
    if (port <= 0 || port > 65535) {
      why = "no port in " + portFile;
      return std::nullopt;
    }
    return BackOffice(static_cast<std::uint16_t>(port), base + ".log");
  }

  std::uint16_t Port() const { return port_; }

  // "http://127.0.0.1:PORT" followed by `pathAndQuery`.
  std::string Url(std::string_view pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
  }

  // The logged requests after number `since` whose target contains `token`
  // (anywhere: a proxy gets absolute addresses), in arrival order. The
  // server writes its log file a whole line at a time as each request
  // arrives; a line still on its way is left for the next look.
  std::vector<LoggedRequest> RequestsWith(std::string_view token, int since = 0) const {
    std::vector<LoggedRequest> matching;
    for (LoggedRequest& request : ParseRequestLog(win32::Win32FileSystem().ReadAll(logFile_).value_or(""))) {
      if (request.sequence > since && request.target.find(token) != std::string::npos) {
        matching.push_back(std::move(request));
      }
    }
    return matching;
  }

 private:
  BackOffice(std::uint16_t port, std::string logFile) : port_(port), logFile_(std::move(logFile)) {}

  std::uint16_t port_;
  std::string logFile_;
};

}  // namespace hta::wintest
