#pragma once

#include <cstddef>
#include <string_view>

#include "common/ascii.h"
#include "common/trim.h"

namespace backoffice {

// ASCII-only helpers on purpose: header names and HTTP tokens are ASCII, and
// the locale-aware <cctype> functions would let an odd locale change how
// "Content-Length" compares.
using hta::EqualsIgnoringCase;
using hta::IsBlank;
using hta::TrimBlanks;

// The "tchar" set of HTTP: what methods and header names are made of.
inline bool IsTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
    return true;
  }
  switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~':
      return true;
    default:
      return false;
  }
}

inline bool IsToken(std::string_view s) {
  if (s.empty()) {
    return false;
  }
  for (char c : s) {
    if (!IsTokenChar(c)) {
      return false;
    }
  }
  return true;
}

// True when a comma-separated header value such as "keep-alive, Upgrade"
// holds `token`, compared without case.
inline bool ListHasToken(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    std::size_t comma = list.find(',');
    std::string_view item = TrimBlanks(list.substr(0, comma));
    if (EqualsIgnoringCase(item, token)) {
      return true;
    }
    if (comma == std::string_view::npos) {
      break;
    }
    list.remove_prefix(comma + 1);
  }
  return false;
}

// Strict unsigned decimal: digits only, no sign, no blanks, at most `max`.
// std::stoull would accept "-1", " 7" and "12abc", which hide scenario typos
// and let a request smuggle a negative Content-Length.
inline bool ParseDecimal(std::string_view s, unsigned long long max, unsigned long long* out) {
  if (s.empty()) {
    return false;
  }
  unsigned long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') {
      return false;
    }
    unsigned d = static_cast<unsigned>(c - '0');
    if (v > (max - d) / 10) {
      return false;
    }
    v = v * 10 + d;
  }
  *out = v;
  return true;
}

}  // namespace backoffice
