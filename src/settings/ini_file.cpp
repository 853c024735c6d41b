#include "settings/ini_file.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <span>

namespace hta {

namespace {

// Sizes of the buffers handed to the profile calls. A value read through
// Setting is therefore at most 1023 characters long, and a section's key
// list at most 8190.
constexpr std::size_t kValueBufferSize = 1024;
constexpr std::size_t kKeyListBufferSize = 8192;

// The first `count` characters of `buffer`, never more than the buffer holds
// even if the port reports more than it copied.
std::string Prefix(const std::vector<char>& buffer, std::size_t count) {
  return std::string(buffer.data(), std::min(count, buffer.size()));
}

}  // namespace

IniFile::IniFile(ProfileCalls& profile, FileSystem& files, Environment& environment)
    : profile_(profile), files_(files) {
  std::string folder = environment.ExeFolder();
  // The shell reports a drive's root with its backslash ("C:\") and every
  // other folder without one.
  if (folder.empty() || folder.back() != '\\') {
    folder.push_back('\\');
  }
  fileName_ = folder + environment.ExeName() + ".ini";
}

std::optional<std::int32_t> IniFile::TotalKeys() const {
  return CountLines(&IniFile::IsKey);
}

std::optional<std::int32_t> IniFile::TotalSections() const {
  return CountLines(&IniFile::IsSection);
}

std::optional<std::int32_t> IniFile::CountLines(bool (*test)(std::string_view)) const {
  const std::optional<std::string> contents = files_.ReadAll(fileName_);
  if (!contents) {
    return std::nullopt;
  }
  // A line ends at CR, at CR LF, and also at a lone LF. The platform's own
  // text reading ends lines at LF as well, and files edited with tools from
  // elsewhere often have LF endings only: treating LF as ordinary text would
  // turn such a file into one long line and count at most one key or none.
  // The text after the last line end is a line of its own; an empty rest
  // after a final line end is not.
  const std::string_view text = *contents;
  std::int64_t count = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    if (test(text.substr(start, end - start))) {
      ++count;
    }
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      start = end + 2;
    } else {
      start = end + 1;
    }
  }
  return static_cast<std::int32_t>(std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
}

std::string IniFile::Setting(const std::string& section, const std::string& key,
                             const std::string& fallback) const {
  std::vector<char> buffer(kValueBufferSize, ' ');
  const std::size_t count =
      profile_.ProfileRead(section.c_str(), key.c_str(), fallback.c_str(), buffer, fileName_.c_str());
  if (count < 1) {
    return std::string();
  }
  return Prefix(buffer, count);
}

void IniFile::Setting(const std::string& section, const std::string& key, const std::string& /*fallback*/,
                      const std::string& value) {
  profile_.ProfileWrite(section.c_str(), key.c_str(), value.c_str(), fileName_.c_str());
}

void IniFile::DeleteItem(const std::string& section, const std::string& key) {
  profile_.ProfileWrite(section.c_str(), key.c_str(), nullptr, fileName_.c_str());
}

void IniFile::ProfileDeleteSection(const std::string& section) {
  profile_.ProfileWrite(section.c_str(), nullptr, nullptr, fileName_.c_str());
}

void IniFile::EnumerateSection(const std::string& section, std::vector<std::string>& keys,
                               std::int32_t& count) const {
  keys.clear();
  count = 0;
  const std::string list = SectionKeyList(section);
  std::size_t start = 0;
  // Each complete name is followed by a NUL; a rest without one is a name
  // the buffer cut off, and is left out.
  for (std::size_t end = list.find('\0'); end != std::string::npos; end = list.find('\0', start)) {
    keys.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  // The buffer holds at most 8190 names, so the count always fits.
  count = static_cast<std::int32_t>(keys.size());
}

void IniFile::FileName(const std::string& fileName) {
  fileName_ = fileName;
}

const std::string& IniFile::FileName() const {
  return fileName_;
}

bool IniFile::IsKey(std::string_view line) {
  return line.find('=') != std::string_view::npos;
}

bool IniFile::IsSection(std::string_view line) {
  return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::string IniFile::SectionKeyList(const std::string& section) const {
  std::vector<char> buffer(kKeyListBufferSize, ' ');
  const std::size_t count = profile_.ProfileRead(section.c_str(), nullptr, "", buffer, fileName_.c_str());
  return Prefix(buffer, count);
}

}  // namespace hta
