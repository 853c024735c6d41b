#include "fakes/fake_registry.h"

#include <algorithm>
#include <utility>

namespace hta::fakes {
namespace {

constexpr std::int32_t kAccessDenied = 5;
constexpr std::int32_t kInvalidHandle = 6;

std::string KeyName(std::uint32_t root, const std::string& path) {
  return std::to_string(root) + "\\" + path.substr(0, path.find_last_not_of('\\') + 1);
}

}  // namespace

void FakeRegistry::CreatePath(RegistryRoot root, const std::string& path) {
  for (std::size_t slash = 0; slash != std::string::npos; slash = path.find('\\', slash + 1)) {
    keys_[KeyName(static_cast<std::uint32_t>(root), path.substr(0, slash))];
  }
  keys_[KeyName(static_cast<std::uint32_t>(root), path)];
}

void FakeRegistry::PutString(RegistryRoot root, const std::string& path, const std::string& name,
                             const std::string& text) {
  Value value{kRegistryString, {text.begin(), text.end()}};
  value.data.push_back(0);
  PutValue(root, path, name, std::move(value));
}

void FakeRegistry::PutValue(RegistryRoot root, const std::string& path, const std::string& name,
                            Value value) {
  CreatePath(root, path);
  keys_[KeyName(static_cast<std::uint32_t>(root), path)][name] = std::move(value);
}

std::optional<std::string> FakeRegistry::GetString(RegistryRoot root, const std::string& path,
                                                   const std::string& name) const {
  const auto key = keys_.find(KeyName(static_cast<std::uint32_t>(root), path));
  const auto value = key == keys_.end() ? Values::const_iterator() : key->second.find(name);
  if (key == keys_.end() || value == key->second.end()) {
    return std::nullopt;
  }
  // Only a text stored with its NUL reads back whole on every platform.
  const std::vector<std::uint8_t>& data = value->second.data;
  if (value->second.type != kRegistryString || data.empty() || data.back() != 0) {
    return std::nullopt;
  }
  return std::string(data.begin(), data.end() - 1);
}

std::size_t FakeRegistry::OpenKeys() const {
  return static_cast<std::size_t>(
      std::count_if(handles_.begin(), handles_.end(), [](const auto& h) { return h.second.open; }));
}

RegistryKey FakeRegistry::NewHandle(const std::string& path, std::uint32_t access) {
  next_ += 0x10;
  handles_[next_] = Handle{path, access, true};
  return RegistryKey{next_};
}

std::int32_t FakeRegistry::Use(RegistryKey key, std::uint32_t right, Values*& values) {
  const auto found = handles_.find(key.value);
  if (found == handles_.end() || !found->second.open) {
    problems.push_back("a key used that is closed or was never handed out");
    return kInvalidHandle;
  }
  values = &keys_[found->second.path];
  return (found->second.access & right) == right ? 0 : kAccessDenied;
}

std::int32_t FakeRegistry::OpenKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                                   RegistryKey& key) {
  ++openCalls;
  const std::string path = KeyName(root, subKey == nullptr ? "" : subKey);
  if (openKeyFails != 0 || keys_.count(path) == 0) {
    return openKeyFails != 0 ? openKeyFails : kRegistryFileNotFound;
  }
  key = NewHandle(path, access);
  return 0;
}

std::int32_t FakeRegistry::CreateKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                                     RegistryKey& key) {
  ++writeCalls;
  if (createKeyFails != 0) {
    return createKeyFails;
  }
  const std::string path = subKey == nullptr ? "" : subKey;
  CreatePath(static_cast<RegistryRoot>(root), path);
  key = NewHandle(KeyName(root, path), access);
  return 0;
}

std::int32_t FakeRegistry::QueryValue(RegistryKey key, const char* name, std::uint32_t& type,
                                      std::span<std::uint8_t> data, std::uint32_t& size) {
  Values* values = nullptr;
  const std::int32_t refused = Use(key, 0x1, values);  // KEY_QUERY_VALUE
  const auto found = refused != 0 ? Values::iterator() : values->find(name == nullptr ? "" : name);
  if (refused != 0 || found == values->end()) {
    return refused != 0 ? refused : kRegistryFileNotFound;
  }
  type = found->second.type;
  size = static_cast<std::uint32_t>(found->second.data.size());
  if (data.empty() || size > data.size()) {
    return data.empty() ? 0 : kRegistryMoreData;
  }
  std::copy(found->second.data.begin(), found->second.data.end(), data.begin());
  return 0;
}

std::int32_t FakeRegistry::SetValue(RegistryKey key, const char* name, std::uint32_t type,
                                    std::span<const std::uint8_t> data) {
  ++writeCalls;
  Values* values = nullptr;
  const std::int32_t refused = Use(key, 0x2, values);  // KEY_SET_VALUE
  if (refused != 0 || setValueFails != 0) {
    return refused != 0 ? refused : setValueFails;
  }
  (*values)[name == nullptr ? "" : name] = Value{type, {data.begin(), data.end()}};
  return 0;
}

std::int32_t FakeRegistry::SetPathValue(RegistryKey key, const char* name, const std::string& path) {
  std::vector<std::uint8_t> data(path.begin(), path.end());
  data.push_back(0);
  return SetValue(key, name, kRegistryString, data);
}

std::int32_t FakeRegistry::DeleteValue(RegistryKey key, const char* name) {
  ++writeCalls;
  Values* values = nullptr;
  const std::int32_t refused = Use(key, 0x2, values);
  if (refused != 0 || deleteValueFails != 0) {
    return refused != 0 ? refused : deleteValueFails;
  }
  return values->erase(name == nullptr ? "" : name) == 0 ? kRegistryFileNotFound : 0;
}

std::int32_t FakeRegistry::CloseKey(RegistryKey key) {
  Values* values = nullptr;
  const std::int32_t result = Use(key, 0, values);
  if (result == 0) {
    handles_[key.value].open = false;
  }
  return result;
}

}  // namespace hta::fakes
