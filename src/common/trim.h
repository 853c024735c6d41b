#pragma once

#include <string_view>

namespace hta {

// The blanks of a header line or a scenario line: space and tab.
inline constexpr std::string_view kBlanks = " \t";

constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// `text` without the `characters` at its end.
constexpr std::string_view TrimEnd(std::string_view text, std::string_view characters) {
  const std::size_t last = text.find_last_not_of(characters);
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// `text` without the `characters` at either end.
constexpr std::string_view Trim(std::string_view text, std::string_view characters) {
  const std::size_t first = text.find_first_not_of(characters);
  return first == std::string_view::npos ? std::string_view() : TrimEnd(text.substr(first), characters);
}

constexpr std::string_view TrimBlanks(std::string_view text) {
  return Trim(text, kBlanks);
}

}  // namespace hta
