#include "ports/log.h"

#include <algorithm>

namespace hta {
namespace {

struct LogSink {
  Log* log = nullptr;
  LogLevel level = LogLevel::Info;
};

LogSink& Sink() {
  static LogSink sink;
  return sink;
}

}  // namespace

void SetLog(Log* log) {
  Sink().log = log;
}

void SetLogLevel(LogLevel level) {
  Sink().level = level;
}

bool LogWanted(LogLevel level) {
  return Sink().log != nullptr && level <= Sink().level;
}

void WriteLog(LogLevel level, std::string_view text) {
  if (!LogWanted(level)) {
    return;
  }
  std::string line(text);
  for (char& c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      c = '?';
    }
  }
  Sink().log->Write(level, line);
}

std::string LogAddress(std::string_view address) {
  address = address.substr(0, address.find_first_of("?#"));
  const std::size_t scheme = address.find("://");
  if (scheme == std::string_view::npos) {
    // Not an address: nothing of it is shown, it may be anything.
    return "(not an address)";
  }
  const std::size_t hostStart = scheme + 3;
  const std::size_t pathStart = std::min(address.find('/', hostStart), address.size());
  std::string_view host = address.substr(hostStart, pathStart - hostStart);
  // "user:password@host" names credentials: only the host is kept.
  const std::size_t at = host.rfind('@');
  if (at != std::string_view::npos) {
    host.remove_prefix(at + 1);
  }
  return std::string(address.substr(0, hostStart)) + std::string(host) +
         std::string(address.substr(pathStart));
}

}  // namespace hta
