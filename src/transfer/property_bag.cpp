#include "transfer/property_bag.h"

#include <charconv>
#include <limits>
#include <utility>

namespace hta {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// A decimal number written as text, or nullopt. std::from_chars takes no
// "+" and no blanks, so those are stripped first.
std::optional<std::int64_t> ParseDecimal(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') {
      return std::nullopt;
    }
  }
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return number;
}

std::optional<std::int64_t> AsNumber(const PropertyValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    return ParseDecimal(*text);
  }
  if (const auto* small = std::get_if<std::int16_t>(&value)) {
    return *small;
  }
  return std::get<std::int32_t>(value);
}

template <typename Number>
Number NarrowOr(const PropertyValue& value, Number fallback) {
  const auto number = AsNumber(value);
  if (!number || *number < std::numeric_limits<Number>::min() ||
      *number > std::numeric_limits<Number>::max()) {
    return fallback;
  }
  return static_cast<Number>(*number);
}

}  // namespace

std::string PropertyText(const PropertyValue& value, const std::string& fallback) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    return *text;
  }
  const auto number = AsNumber(value);
  return number ? std::to_string(*number) : fallback;
}

std::int16_t PropertyInt16(const PropertyValue& value, std::int16_t fallback) {
  return NarrowOr<std::int16_t>(value, fallback);
}

std::int32_t PropertyInt32(const PropertyValue& value, std::int32_t fallback) {
  return NarrowOr<std::int32_t>(value, fallback);
}

PropertyValue MemoryPropertyBag::ReadProperty(std::string_view key, const PropertyValue& defaultValue) {
  const auto found = values_.find(key);
  return found == values_.end() ? defaultValue : found->second;
}

void MemoryPropertyBag::WriteProperty(std::string_view key, const PropertyValue& value,
                                      const PropertyValue& defaultValue) {
  if (value == defaultValue) {
    const auto found = values_.find(key);
    if (found != values_.end()) {
      values_.erase(found);
    }
    return;
  }
  Put(key, value);
}

std::optional<PropertyValue> MemoryPropertyBag::Find(std::string_view key) const {
  const auto found = values_.find(key);
  if (found == values_.end()) {
    return std::nullopt;
  }
  return found->second;
}

void MemoryPropertyBag::Put(std::string_view key, PropertyValue value) {
  const auto found = values_.find(key);
  if (found != values_.end()) {
    found->second = std::move(value);
  } else {
    values_.emplace(std::string(key), std::move(value));
  }
}

}  // namespace hta
