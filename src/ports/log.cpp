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

// The length of the UTF-8 character that starts at `at`, or 0 when the
// bytes there are none (a stray continuation byte, a cut or overlong
// sequence, a surrogate, a code point past U+10FFFF).
std::size_t Utf8CharacterLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    return 1;
  }
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // the range of the first continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
      return 0;
    }
  }
  return length;
}

// Bytes outside ASCII as "%XX", the rest as it is.
std::string PercentEncodeNonAscii(std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    }
  }
  return encoded;
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
  std::string line;
  line.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8CharacterLength(text, at);
    const auto byte = static_cast<unsigned char>(text[at]);
    if (length == 0 || byte < 0x20 || byte == 0x7F) {
      line += '?';
      ++at;
    } else {
      line.append(text.substr(at, length));
      at += length;
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
  return PercentEncodeNonAscii(std::string(address.substr(0, hostStart)) + std::string(host) +
                               std::string(address.substr(pathStart)));
}

}  // namespace hta
