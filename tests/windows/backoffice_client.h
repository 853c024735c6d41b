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

#include <wininet.h>

namespace hta::wintest {

inline constexpr const char* kBackOfficeDirVariable = "HTA_BACKOFFICE_DIR";

// A Unix path as Wine's programs reach it: Z: and backslashes.
inline std::string WindowsPath(std::string unixPath) {
  std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
  return "Z:" + unixPath;
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

// One line of the server's request log.
struct LoggedRequest {
  int sequence = 0;
  std::string method;
  std::string target;  // as sent: the absolute URL when sent to a proxy
  std::vector<std::pair<std::string, std::string>> headers;

  // The first value of the header of that name (any letter case).
  std::optional<std::string> Header(std::string_view name) const {
    for (const auto& [field, value] : headers) {
      if (EqualsIgnoreCase(field, name)) {
        return value;
      }
    }
    return std::nullopt;
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
inline std::vector<LoggedRequest> ParseRequestLog(std::string_view log) {
  std::vector<LoggedRequest> requests;
  while (!log.empty()) {
    const std::size_t end = log.find('\n');
    const std::string_view line = log.substr(0, end);
    log.remove_prefix(end == std::string_view::npos ? log.size() : end + 1);
    std::vector<std::string_view> fields;
    for (std::string_view rest = line;;) {
      const std::size_t tab = rest.find('\t');
      fields.push_back(rest.substr(0, tab));
      if (tab == std::string_view::npos) {
        break;
      }
      rest.remove_prefix(tab + 1);
    }
    if (fields.size() < 3) {
      continue;
    }
    LoggedRequest request;
    request.sequence = std::atoi(std::string(fields[0]).c_str());
    request.method = std::string(fields[1]);
    request.target = std::string(fields[2]);
    for (std::size_t i = 3; i < fields.size(); ++i) {
      const std::size_t colon = fields[i].find(": ");
      if (colon == std::string_view::npos) {
        request.headers.emplace_back(std::string(fields[i]), std::string());
      } else {
        request.headers.emplace_back(std::string(fields[i].substr(0, colon)),
                                     std::string(fields[i].substr(colon + 2)));
      }
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
    const std::string portFile = WindowsPath(std::string(dir) + "/" + name + ".port");
    win32::Win32FileSystem files;
    const auto text = files.ReadAll(portFile);
    const int port = text ? std::atoi(text->c_str()) : 0;
    if (port <= 0 || port > 65535) {
      why = "no port in " + portFile;
      return std::nullopt;
    }
    return BackOffice(static_cast<std::uint16_t>(port));
  }

  std::uint16_t Port() const { return port_; }

  // "http://127.0.0.1:PORT" followed by `pathAndQuery`.
  std::string Url(std::string_view pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
  }

  // The whole request log of this run, through GET /__requests (which needs
  // no proxy credentials and is never logged itself). Fetched over a direct
  // WinINet session of its own, apart from the sessions under test.
  std::optional<std::vector<LoggedRequest>> Requests() const {
    HINTERNET session = InternetOpenA("hta-test-log-reader", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (session == nullptr) {
      return std::nullopt;
    }
    const std::string url = Url("/__requests");
    HINTERNET stream = InternetOpenUrlA(
        session, url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0);
    std::optional<std::string> body;
    if (stream != nullptr) {
      body.emplace();
      char buffer[8192];
      for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(stream, buffer, sizeof buffer, &read)) {
          body.reset();
          break;
        }
        if (read == 0) {
          break;
        }
        body->append(buffer, read);
      }
      InternetCloseHandle(stream);
    }
    InternetCloseHandle(session);
    if (!body) {
      return std::nullopt;
    }
    return ParseRequestLog(*body);
  }

  // The logged requests whose target contains `token`, in arrival order.
  std::vector<LoggedRequest> RequestsWith(std::string_view token) const {
    std::vector<LoggedRequest> matching;
    if (const auto all = Requests()) {
      for (const LoggedRequest& request : *all) {
        if (request.target.find(token) != std::string::npos) {
          matching.push_back(request);
        }
      }
    }
    return matching;
  }

 private:
  explicit BackOffice(std::uint16_t port) : port_(port) {}

  std::uint16_t port_;
};

}  // namespace hta::wintest
