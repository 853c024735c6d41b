#include "client/validators.h"

#include "common/ascii.h"
#include "common/control_characters.h"
#include "common/trim.h"

namespace hta {

std::string HeaderValue(std::string_view rawHeaders, std::string_view name) {
  std::size_t start = rawHeaders.find('\n');  // the status line carries no header
  while (start != std::string_view::npos && start + 1 < rawHeaders.size()) {
    ++start;
    const std::size_t end = rawHeaders.find('\n', start);
    std::string_view line = rawHeaders.substr(start, end == std::string_view::npos ? end : end - start);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && EqualsIgnoringCase(line.substr(0, colon), name)) {
      return std::string(Trim(line.substr(colon + 1), " \t\r"));
    }
    start = end;
  }
  return std::string();
}

bool IsSendableValidator(std::string_view value) {
  return !value.empty() && value.size() <= kLongestValidator && !HasControlCharacter(value);
}

Validators ResponseValidators(std::string_view rawHeaders) {
  Validators found{HeaderValue(rawHeaders, "ETag"), HeaderValue(rawHeaders, "Last-Modified")};
  if (!IsSendableValidator(found.etag)) {
    found.etag.clear();
  }
  if (!IsSendableValidator(found.lastModified)) {
    found.lastModified.clear();
  }
  return found;
}

std::string ConditionalLines(const Validators& validators) {
  std::string lines;
  if (IsSendableValidator(validators.etag)) {
    lines += "If-None-Match: " + validators.etag + "\r\n";
  }
  if (IsSendableValidator(validators.lastModified)) {
    lines += "If-Modified-Since: " + validators.lastModified + "\r\n";
  }
  return lines;
}

}  // namespace hta
