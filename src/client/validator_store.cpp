#include "client/validator_store.h"

#include <charconv>
#include <vector>

#include "client/replace_file.h"
#include "client/request_encoding.h"
#include "common/ascii.h"
#include "common/hex_digits.h"
#include "settings/ini_file.h"

namespace hta {
namespace {

constexpr std::string_view kNewSuffix = ".new";
// The mark that tells the store from any other file of that name.
constexpr std::string_view kFormatSection = "store";
constexpr std::string_view kFormatKey = "format";
constexpr std::string_view kFormat = "1";
constexpr std::string_view kFilesSection = "files";
// An empty field; no encoded text is a lone "%".
constexpr std::string_view kNone = "%";
// A larger file is not the store: it is not even read.
constexpr std::int64_t kLargestStore = 256 * 1024;
// The profile calls read at most this much of a value.
constexpr std::size_t kLongestLine = 1000;

std::uint64_t AddressHash(std::string_view address) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : address) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return hash;
}

std::string Field(std::string_view text) {
  return text.empty() ? std::string(kNone) : PercentEncodeAll(text);
}

std::optional<int> HexValue(char c) {
  for (int value = 0; value < 16; ++value) {
    if (kHexDigits[value] == c || LowerAscii(kHexDigits[value]) == c) {
      return value;
    }
  }
  return std::nullopt;
}

// The text of a field written by Field; nullopt for anything else.
std::optional<std::string> ParseField(std::string_view field) {
  if (field == kNone) {
    return std::string();
  }
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      text += field[i];
      continue;
    }
    const auto high = i + 2 < field.size() ? HexValue(field[i + 1]) : std::nullopt;
    const auto low = i + 2 < field.size() ? HexValue(field[i + 2]) : std::nullopt;
    if (!high || !low) {
      return std::nullopt;
    }
    text += static_cast<char>(*high * 16 + *low);
    i += 2;
  }
  return text;
}

template <typename Number>
bool ParseNumber(std::string_view text, int base, Number& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> SplitBlanks(std::string_view line) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0; start <= line.size();) {
    const std::size_t end = std::min(line.find(' ', start), line.size());
    parts.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string FormatLine(const RememberedFile& file) {
  char hash[17] = {};
  std::to_chars(hash, hash + 16, file.addressHash, 16);
  return std::string(hash) + " " + std::to_string(file.length) + " " + std::to_string(file.lastWrite) + " " +
         Field(file.validators.etag) + " " + Field(file.validators.lastModified);
}

// A line of the store, or nullopt when it is not one FormatLine wrote.
std::optional<RememberedFile> ParseLine(std::string_view line) {
  const std::vector<std::string_view> parts = SplitBlanks(line);
  RememberedFile file;
  if (parts.size() != 5 || !ParseNumber(parts[0], 16, file.addressHash) ||
      !ParseNumber(parts[1], 10, file.length) || !ParseNumber(parts[2], 10, file.lastWrite)) {
    return std::nullopt;
  }
  std::optional<std::string> etag = ParseField(parts[3]);
  std::optional<std::string> lastModified = ParseField(parts[4]);
  if (!etag || !lastModified) {
    return std::nullopt;
  }
  file.validators = {std::move(*etag), std::move(*lastModified)};
  if (file.validators.Empty() ||
      (!file.validators.etag.empty() && !IsSendableValidator(file.validators.etag)) ||
      (!file.validators.lastModified.empty() && !IsSendableValidator(file.validators.lastModified))) {
    return std::nullopt;
  }
  return file;
}

}  // namespace

bool IsValidatorStoreName(std::string_view fileName) {
  return EqualsIgnoringCase(fileName, kValidatorStoreName);
}

ValidatorStore::ValidatorStore(ProfileCalls& profile, FileSystem& files, Environment& environment)
    : profile_(profile), files_(files), environment_(environment) {}

void ValidatorStore::Open(const std::string& folder) {
  folder_ = folder;
  byName_.clear();
  changed_ = false;
  const std::string path = folder_ + std::string(kValidatorStoreName);
  const std::optional<std::int64_t> length = files_.FileLength(path);
  if (!length || *length > kLargestStore) {
    return;
  }
  IniFile ini(profile_, files_, environment_);
  ini.FileName(path);
  if (ini.Setting(std::string(kFormatSection), std::string(kFormatKey)) != kFormat) {
    return;
  }
  std::vector<std::string> keys;
  std::int32_t count = 0;
  ini.EnumerateSection(std::string(kFilesSection), keys, count);
  for (const std::string& key : keys) {
    if (std::optional<RememberedFile> file = ParseLine(ini.Setting(std::string(kFilesSection), key))) {
      byName_[key] = std::move(*file);
    }
  }
}

std::optional<std::string> ValidatorStore::KeyOf(const std::string& target) const {
  if (folder_.empty() || target.size() <= folder_.size() || !target.starts_with(folder_)) {
    return std::nullopt;
  }
  return PercentEncodeAll(LowerAscii(std::string_view(target).substr(folder_.size())));
}

bool ValidatorStore::StillWritten(const std::string& target, const RememberedFile& remembered) {
  return files_.FileLength(target) == remembered.length &&
         files_.LastWriteTime(target) == remembered.lastWrite;
}

std::string ValidatorStore::RequestLines(const std::string& target, std::string_view address) {
  const std::optional<std::string> key = KeyOf(target);
  const auto found = key ? byName_.find(*key) : byName_.end();
  if (found == byName_.end() || found->second.addressHash != AddressHash(address) ||
      !StillWritten(target, found->second)) {
    return std::string();
  }
  return ConditionalLines(found->second.validators);
}

void ValidatorStore::Written(const std::string& target, std::string_view address,
                             std::string_view rawHeaders) {
  const std::optional<std::string> key = KeyOf(target);
  if (!key) {
    return;
  }
  RememberedFile file{AddressHash(address), ResponseValidators(rawHeaders), 0, 0};
  const std::optional<std::int64_t> length = files_.FileLength(target);
  const std::optional<std::uint64_t> lastWrite = files_.LastWriteTime(target);
  if (file.validators.Empty() || !length || !lastWrite) {
    changed_ = byName_.erase(*key) > 0 || changed_;
    return;
  }
  file.length = *length;
  file.lastWrite = *lastWrite;
  if (key->size() + FormatLine(file).size() > kLongestLine) {
    changed_ = byName_.erase(*key) > 0 || changed_;
    return;
  }
  byName_[*key] = std::move(file);
  changed_ = true;
}

void ValidatorStore::Save() {
  if (!changed_ || folder_.empty()) {
    return;
  }
  // Files changed or removed since keep nothing worth asking with.
  std::erase_if(byName_, [this](const auto& entry) {
    const std::optional<std::string> name = ParseField(entry.first);
    return !name || !StillWritten(folder_ + *name, entry.second);
  });
  const std::string path = folder_ + std::string(kValidatorStoreName);
  const std::string partial = path + std::string(kNewSuffix);
  if (WriteWhole(partial) && ReplaceFileWith(files_, partial, path).Done()) {
    changed_ = false;
  }
}

bool ValidatorStore::WriteWhole(const std::string& path) {
  // The profile calls merge into a file that is there: a stale one must go.
  if (files_.StateOf(path) != FileState::Missing && !files_.RemoveFile(path)) {
    return false;
  }
  IniFile ini(profile_, files_, environment_);
  ini.FileName(path);
  ini.Setting(std::string(kFormatSection), std::string(kFormatKey), std::string(), std::string(kFormat));
  for (const auto& [key, file] : byName_) {
    ini.Setting(std::string(kFilesSection), key, std::string(), FormatLine(file));
  }
  // The profile calls report no failure the store could act on (a full
  // disk): a store that does not read back whole is not moved into place.
  std::vector<std::string> keys;
  std::int32_t count = 0;
  ini.EnumerateSection(std::string(kFilesSection), keys, count);
  if (ini.Setting(std::string(kFormatSection), std::string(kFormatKey)) != kFormat ||
      keys.size() != byName_.size()) {
    files_.RemoveFile(path);
    return false;
  }
  return true;
}

}  // namespace hta
