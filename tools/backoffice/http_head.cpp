#include "http_head.h"

#include <algorithm>

#include "common/control_characters.h"
#include "text_util.h"

namespace backoffice {

namespace {

// More fields than any browser or WinINet sends; past that it is garbage or an attack.
constexpr std::size_t kMaxFields = 100;

bool IsSchemeChar(char c, bool first) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
    return true;
  }
  return !first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
}

}  // namespace

const std::string* RequestHead::Find(std::string_view name) const {
  for (const auto& [field, value] : headers) {
    if (EqualsIgnoringCase(field, name)) {
      return &value;
    }
  }
  return nullptr;
}

std::size_t FindHeadEnd(std::string_view buf) {
  for (std::size_t nl = buf.find('\n'); nl != std::string_view::npos; nl = buf.find('\n', nl + 1)) {
    if (nl + 1 < buf.size() && buf[nl + 1] == '\n') {
      return nl + 2;
    }
    if (nl + 2 < buf.size() && buf[nl + 1] == '\r' && buf[nl + 2] == '\n') {
      return nl + 3;
    }
  }
  return std::string_view::npos;
}

bool TargetPath(std::string_view target, std::string* path) {
  std::string_view rest = target;
  if (rest.empty()) {
    return false;
  }
  if (rest.front() != '/') {
    // Absolute form, as a client talks to its proxy: scheme "://" authority, then the path.
    std::size_t i = 0;
    while (i < rest.size() && IsSchemeChar(rest[i], i == 0)) {
      ++i;
    }
    if (i == 0 || rest.substr(i, 3) != "://") {
      return false;
    }
    rest.remove_prefix(i + 3);
    std::size_t authority_end = rest.find_first_of("/?#");
    if (authority_end == 0) {
      return false;  // "http:///x" has no host
    }
    rest.remove_prefix(authority_end == std::string_view::npos ? rest.size() : authority_end);
  }
  std::string_view p = rest.substr(0, rest.find_first_of("?#"));
  *path = p.empty() ? "/" : std::string(p);
  return true;
}

namespace {

bool IsValidTarget(std::string_view target) {
  if (target.empty()) {
    return false;
  }
  return std::none_of(target.begin(), target.end(), [](char c) { return hta::IsControlOrBlank(c); });
}

// method SP target SP version, single spaces: anything looser is how request
// smuggling between two lenient parsers starts.
bool ParseRequestLine(std::string_view line, RequestHead* out) {
  std::size_t sp1 = line.find(' ');
  std::size_t sp2 = line.rfind(' ');
  if (sp1 == std::string_view::npos || sp1 == sp2) {
    return false;
  }
  std::string_view method = line.substr(0, sp1);
  std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  std::string_view version = line.substr(sp2 + 1);
  if (!IsToken(method) || !IsValidTarget(target)) {
    return false;
  }
  if (version.size() != 8 || version.substr(0, 7) != "HTTP/1." || version[7] < '0' || version[7] > '9') {
    return false;
  }
  out->method = std::string(method);
  out->target = std::string(target);
  out->minorVersion = version[7] - '0';
  if (method == "CONNECT") {
    if (target.front() == '/') {
      return false;
    }
    out->path.clear();
  } else if (method == "OPTIONS" && target == "*") {
    // assign(1, '*'), not = "*": GCC 12 at -O2 reports a bogus -Wrestrict
    // overlap for assigning a short literal here.
    out->path.assign(1, '*');
  } else if (!TargetPath(target, &out->path)) {
    return false;
  }
  return true;
}

bool ParseHeaderField(std::string_view line, RequestHead* out) {
  // A line starting with a blank continues the previous field (obsolete
  // folding). Refusing it is allowed and removes a whole class of ambiguity.
  if (IsBlank(line.front())) {
    return false;
  }
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
    return false;
  }
  for (char c : line) {
    if (c == '\0' || c == '\r') {
      return false;
    }
  }
  if (out->headers.size() >= kMaxFields) {
    return false;
  }
  out->headers.emplace_back(std::string(line.substr(0, colon)),
                            std::string(TrimBlanks(line.substr(colon + 1))));
  return true;
}

}  // namespace

bool ParseRequestHead(std::string_view head, RequestHead* out) {
  *out = RequestHead();
  bool first = true;
  while (!head.empty()) {
    std::size_t nl = head.find('\n');
    std::string_view line = head.substr(0, nl);
    head.remove_prefix(nl == std::string_view::npos ? head.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    if (first) {
      first = false;
      if (!ParseRequestLine(line, out)) {
        return false;
      }
    } else if (line.empty()) {
      break;  // the blank line that ends the head
    } else if (!ParseHeaderField(line, out)) {
      return false;
    }
  }
  return !first;
}

}  // namespace backoffice
