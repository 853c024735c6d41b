#include "transfer/response_headers.h"

#include <charconv>

#include "common/ascii.h"
#include "common/trim.h"

namespace hta {
namespace {

std::optional<std::int64_t> LeadingNumber(std::string_view& text) {
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc()) {
    return std::nullopt;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return number;
}

}  // namespace

std::optional<std::string_view> RawHeaderValue(std::string_view headers, std::string_view lowerHeaders,
                                               std::string_view prefix) {
  const std::size_t at = lowerHeaders.find(prefix);
  if (at == std::string_view::npos) {
    return std::nullopt;
  }
  const std::size_t start = at + prefix.size();
  const std::size_t end = headers.find("\r\n", start);
  // A well-formed block ends in CR LF CR LF, so a value always has an end;
  // without one it runs to the end of the block.
  return headers.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

bool StartsWithStatusLine(std::string_view headers) {
  constexpr std::string_view kVersion = "http/";
  return headers.size() >= kVersion.size() && LowerAscii(headers.substr(0, kVersion.size())) == kVersion;
}

std::int32_t ParseFileSize(std::string_view text) {
  text = TrimBlanks(text);
  // std::from_chars takes a "-" but no "+".
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') {
    text.remove_prefix(1);
  }
  std::int32_t size = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return -1;
  }
  return size;
}

std::optional<ContentRangeValue> ParseContentRange(std::string_view value) {
  constexpr std::string_view kUnit = "bytes ";
  if (value.size() < kUnit.size() || LowerAscii(value.substr(0, kUnit.size())) != kUnit) {
    return std::nullopt;
  }
  value.remove_prefix(kUnit.size());
  ContentRangeValue range;
  if (!value.empty() && value.front() == '*') {
    value.remove_prefix(1);
  } else {
    range.first = LeadingNumber(value);
    if (!range.first || value.empty() || value.front() != '-') {
      return std::nullopt;
    }
    value.remove_prefix(1);
    if (!LeadingNumber(value)) {
      return std::nullopt;
    }
  }
  if (value.empty() || value.front() != '/') {
    return std::nullopt;
  }
  value.remove_prefix(1);
  if (value != "*") {
    range.size = LeadingNumber(value);
    if (!range.size || !value.empty()) {
      return std::nullopt;
    }
  }
  return range;
}

}  // namespace hta
