#include "fakes/fake_registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace hta::fakes {
namespace {

constexpr std::int32_t kFileNotFound = 2;
constexpr std::int32_t kAccessDenied = 5;
constexpr std::int32_t kInvalidHandle = 6;       // a key handle closed or never handed out
constexpr std::uint32_t kQueryValueRight = 0x1;  // KEY_QUERY_VALUE
constexpr std::uint32_t kSetValueRight = 0x2;    // KEY_SET_VALUE

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

std::string Text(const char* text) {
  return text == nullptr ? std::string("null") : "[" + std::string(text) + "]";
}

}  // namespace

std::string FakeRegistry::KeyName(std::uint32_t root, const std::string& path) {
  std::string trimmed = path;
  while (!trimmed.empty() && trimmed.back() == '\\') {
    trimmed.pop_back();
  }
  return Hex(root) + "\\" + trimmed;
}

void FakeRegistry::CreatePath(RegistryRoot root, const std::string& path) {
  const auto rootValue = static_cast<std::uint32_t>(root);
  // Every parent too, as RegCreateKeyEx makes them.
  std::size_t position = 0;
  for (;;) {
    const std::size_t slash = path.find('\\', position);
    keys_[KeyName(rootValue, path.substr(0, slash))];
    if (slash == std::string::npos) {
      break;
    }
    position = slash + 1;
  }
}

void FakeRegistry::PutString(RegistryRoot root, const std::string& path, const std::string& name,
                             const std::string& text) {
  Value value;
  value.type = kRegistryString;
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  PutValue(root, path, name, std::move(value));
}

void FakeRegistry::PutDword(RegistryRoot root, const std::string& path, const std::string& name,
                            std::int32_t number) {
  Value value;
  value.type = kRegistryDword;
  value.data.resize(sizeof number);
  std::memcpy(value.data.data(), &number, sizeof number);
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
  if (key == keys_.end()) {
    return std::nullopt;
  }
  const auto value = key->second.find(name);
  if (value == key->second.end() || value->second.type != kRegistryString) {
    return std::nullopt;
  }
  std::string text(value->second.data.begin(), value->second.data.end());
  if (!text.empty() && text.back() == '\0') {
    text.pop_back();
  }
  return text;
}

std::vector<std::string> FakeRegistry::OpenKeys() const {
  std::vector<std::string> open;
  for (const auto& [value, handle] : handles_) {
    if (handle.open) {
      open.push_back(handle.shown);
    }
  }
  return open;
}

RegistryKey FakeRegistry::NewHandle(const std::string& path, const std::string& shown, std::uint32_t access) {
  const std::uintptr_t value = next_;
  next_ += 0x10;
  handles_.emplace(value, Handle{path, shown, access, true});
  return RegistryKey{value};
}

std::int32_t FakeRegistry::Refusal(const Handle* handle, std::uint32_t right, std::int32_t fails) {
  return handle == nullptr ? kInvalidHandle : (handle->access & right) == 0 ? kAccessDenied : fails;
}

std::string FakeRegistry::Shown(const Handle* handle) {
  return handle == nullptr ? "?" : handle->shown;
}

FakeRegistry::Handle* FakeRegistry::Use(RegistryKey key, const char* call) {
  const auto found = handles_.find(key.value);
  if (found == handles_.end()) {
    problems.push_back(std::string(call) + " with a key never handed out");
    return nullptr;
  }
  if (!found->second.open) {
    problems.push_back(std::string(call) + " on " + found->second.shown + " after its close");
    return nullptr;
  }
  return &found->second;
}

std::int32_t FakeRegistry::OpenKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                                   RegistryKey& key) {
  const std::string path = subKey == nullptr ? std::string() : std::string(subKey);
  std::int32_t result = 0;
  if (openKeyFails != 0) {
    result = openKeyFails;
  } else if (keys_.count(KeyName(root, path)) == 0) {
    result = kFileNotFound;
  } else {
    key = NewHandle(KeyName(root, path), "[" + path + "]", access);
  }
  calls.push_back("OpenKey " + Hex(root) + " " + Text(subKey) + " access=" + Hex(access) + " -> " +
                  std::to_string(result));
  return result;
}

std::int32_t FakeRegistry::CreateKey(std::uint32_t root, const char* subKey, std::uint32_t access,
                                     RegistryKey& key) {
  ++writeCalls;
  const std::string path = subKey == nullptr ? std::string() : std::string(subKey);
  std::int32_t result = 0;
  if (createKeyFails != 0) {
    result = createKeyFails;
  } else {
    CreatePath(static_cast<RegistryRoot>(root), path);
    key = NewHandle(KeyName(root, path), "[" + path + "]", access);
  }
  calls.push_back("CreateKey " + Hex(root) + " " + Text(subKey) + " access=" + Hex(access) + " -> " +
                  std::to_string(result));
  return result;
}

std::int32_t FakeRegistry::QueryValue(RegistryKey key, const char* name, std::uint32_t& type,
                                      std::span<std::uint8_t> data, std::uint32_t& size) {
  Handle* handle = Use(key, "QueryValue");
  std::int32_t result = Refusal(handle, kQueryValueRight, 0);
  if (result == 0) {
    const Values& values = keys_[handle->path];
    const auto found = values.find(name == nullptr ? "" : name);
    if (found == values.end()) {
      result = kFileNotFound;
    } else {
      const Value& value = found->second;
      type = value.type;
      const auto needed = static_cast<std::uint32_t>(value.data.size());
      if (!data.empty()) {
        if (needed > data.size()) {
          result = kRegistryMoreData;
        } else {
          std::copy(value.data.begin(), value.data.end(), data.begin());
        }
      }
      size = needed;
    }
  }
  calls.push_back("QueryValue " + Shown(handle) + " " + Text(name) +
                  " buffer=" + std::to_string(data.size()) + " -> " + std::to_string(result) +
                  (result == 0 || result == kRegistryMoreData
                       ? " type=" + std::to_string(type) + " size=" + std::to_string(size)
                       : std::string()));
  return result;
}

std::int32_t FakeRegistry::SetValue(RegistryKey key, const char* name, std::uint32_t type,
                                    std::span<const std::uint8_t> data) {
  ++writeCalls;
  Handle* handle = Use(key, "SetValue");
  const std::int32_t result = Refusal(handle, kSetValueRight, setValueFails);
  if (result == 0) {
    keys_[handle->path][name == nullptr ? "" : name] = Value{type, {data.begin(), data.end()}};
  }
  calls.push_back("SetValue " + Shown(handle) + " " + Text(name) + " type=" + std::to_string(type) +
                  " size=" + std::to_string(data.size()) + " -> " + std::to_string(result));
  return result;
}

std::int32_t FakeRegistry::DeleteValue(RegistryKey key, const char* name) {
  ++writeCalls;
  Handle* handle = Use(key, "DeleteValue");
  std::int32_t result = Refusal(handle, kSetValueRight, deleteValueFails);
  if (result == 0 && keys_[handle->path].erase(name == nullptr ? "" : name) == 0) {
    result = kFileNotFound;
  }
  calls.push_back("DeleteValue " + Shown(handle) + " " + Text(name) + " -> " + std::to_string(result));
  return result;
}

std::int32_t FakeRegistry::CloseKey(RegistryKey key) {
  std::int32_t result = 0;
  Handle* handle = Use(key, "CloseKey");
  if (handle == nullptr) {
    result = kInvalidHandle;
  } else {
    handle->open = false;
  }
  calls.push_back("CloseKey " + Shown(handle) + " -> " + std::to_string(result));
  return result;
}

}  // namespace hta::fakes
