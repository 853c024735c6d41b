#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace hta {

// A stored property value: a text, a 16-bit or a 32-bit signed number.
using PropertyValue = std::variant<std::string, std::int16_t, std::int32_t>;

// The store a host keeps for a control it contains, as a bag of named
// values. Keys match exactly (case-sensitive). Never re-enters the control.
class PropertyBag {
 public:
  virtual ~PropertyBag() = default;

  // The value stored under `key`, or `defaultValue` when there is none.
  virtual PropertyValue ReadProperty(std::string_view key, const PropertyValue& defaultValue) = 0;

  // Stores `value` under `key`. `defaultValue` is what a later read would
  // get without a stored value, so the store may leave out (or remove) a
  // value equal to it.
  virtual void WriteProperty(std::string_view key, const PropertyValue& value,
                             const PropertyValue& defaultValue) = 0;
};

// Conversions of a read value to the kind a field holds, for stores that
// hand back another kind than was written. A number becomes text in
// decimal. A number of the other width converts when it fits; so does a text
// of decimal digits with an optional sign (blanks around it allowed).
// Anything else gives `fallback`.
std::string PropertyText(const PropertyValue& value, const std::string& fallback);
std::int16_t PropertyInt16(const PropertyValue& value, std::int16_t fallback);
std::int32_t PropertyInt32(const PropertyValue& value, std::int32_t fallback);

// A PropertyBag in memory. A write of a value equal to its default removes
// the key, so the bag holds only values that differ from their defaults.
class MemoryPropertyBag final : public PropertyBag {
 public:
  PropertyValue ReadProperty(std::string_view key, const PropertyValue& defaultValue) override;
  void WriteProperty(std::string_view key, const PropertyValue& value,
                     const PropertyValue& defaultValue) override;

  // Direct access for the host and for tests.
  std::optional<PropertyValue> Find(std::string_view key) const;
  void Put(std::string_view key, PropertyValue value);
  std::size_t size() const { return values_.size(); }

 private:
  std::map<std::string, PropertyValue, std::less<>> values_;
};

// How a control tells its host that a property changed, so the host can mark
// its stored form as out of date. The control calls it as the last step of a
// property write, when the field already holds the new value.
class ControlHost {
 public:
  virtual ~ControlHost() = default;
  virtual void PropertyChanged(std::string_view key) = 0;
};

}  // namespace hta
