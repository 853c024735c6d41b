#include "fakes/fake_profile.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "common/ascii.h"
#include "common/trim.h"

namespace hta::fakes {
namespace {

struct Line {
  std::string text;
  std::optional<std::string> section;  // a "[section]" line's name
  std::optional<std::string> key;      // a "key=value" line's name
  std::string value;
};

Line ReadLine(std::string text) {
  Line line{std::move(text), std::nullopt, std::nullopt, std::string()};
  const std::string_view trimmed = TrimBlanks(line.text);
  if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.find(']') != std::string_view::npos) {
    line.section = std::string(TrimBlanks(trimmed.substr(1, trimmed.find(']') - 1)));
  } else if (const std::size_t equals = trimmed.find('='); equals != std::string_view::npos && equals > 0) {
    line.key = std::string(TrimBlanks(trimmed.substr(0, equals)));
    std::string_view value = TrimBlanks(trimmed.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    line.value = std::string(value);
  }
  return line;
}

std::vector<Line> ReadLines(const std::string& text) {
  std::vector<Line> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end;
    lines.push_back(ReadLine(std::string(TrimEnd(std::string_view(text).substr(start, end - start), "\r"))));
    start = end + 1;
  }
  return lines;
}

// The lines of `section`: from after its header to the next header; the
// header is missing when the section is.
struct Range {
  std::optional<std::size_t> header;
  std::size_t first = 0;
  std::size_t end = 0;
};

Range SectionRange(const std::vector<Line>& lines, std::string_view section) {
  for (std::size_t at = 0; at < lines.size(); ++at) {
    if (lines[at].section && EqualsIgnoringCase(*lines[at].section, section)) {
      std::size_t end = at + 1;
      while (end < lines.size() && !lines[end].section) {
        ++end;
      }
      return {at, at + 1, end};
    }
  }
  return {std::nullopt, lines.size(), lines.size()};
}

std::size_t Copy(std::string_view text, std::span<char> buffer) {
  const std::size_t count = std::min(text.size(), buffer.size() - 1);
  std::copy_n(text.data(), count, buffer.data());
  buffer[count] = '\0';
  return count;
}

std::size_t CopyKeyList(const std::vector<Line>& lines, const Range& range, std::span<char> buffer) {
  std::string list;
  for (std::size_t at = range.first; at < range.end; ++at) {
    if (lines[at].key) {
      list += *lines[at].key + '\0';
    }
  }
  // A list that does not fit is cut, and still ends in two NULs.
  const bool cut = list.size() + 1 > buffer.size();
  const std::size_t count = cut ? buffer.size() - 2 : list.size();
  list.resize(count);
  list.append(cut ? 2 : 1, '\0');
  std::copy_n(list.data(), list.size(), buffer.data());
  return count;
}

}  // namespace

std::size_t FakeProfile::ProfileRead(const char* section, const char* key, const char* defaultValue,
                                     std::span<char> buffer, const char* fileName) {
  const std::vector<Line> lines = ReadLines(disk_.ReadAll(fileName).value_or(std::string()));
  const auto range = SectionRange(lines, section);
  if (key == nullptr) {
    return CopyKeyList(lines, range, buffer);
  }
  for (std::size_t at = range.first; at < range.end; ++at) {
    if (lines[at].key && EqualsIgnoringCase(*lines[at].key, key)) {
      return Copy(lines[at].value, buffer);
    }
  }
  return Copy(defaultValue, buffer);
}

bool FakeProfile::ProfileWrite(const char* section, const char* key, const char* value,
                               const char* fileName) {
  if (disk_.IsUnreadable(fileName) || disk_.writesFail) {
    return false;
  }
  std::vector<Line> lines = ReadLines(disk_.Contents(fileName).value_or(std::string()));
  const Range range = SectionRange(lines, section);
  const auto begin = lines.begin();
  const auto first = begin + static_cast<std::ptrdiff_t>(range.first);
  const auto end = begin + static_cast<std::ptrdiff_t>(range.end);
  const auto at = std::find_if(first, end, [&](const Line& line) {
    return key != nullptr && line.key && EqualsIgnoringCase(*line.key, key);
  });
  if (key == nullptr) {
    if (range.header) {
      lines.erase(first - 1, end);
    }
  } else if (value == nullptr) {
    if (at != end) {
      lines.erase(at);
    }
  } else if (at != end) {
    *at = ReadLine(std::string(key) + "=" + value);
  } else if (range.header) {
    lines.insert(end, ReadLine(std::string(key) + "=" + value));
  } else {
    lines.push_back(ReadLine("[" + std::string(section) + "]"));
    lines.push_back(ReadLine(std::string(key) + "=" + value));
  }
  std::string text;
  for (const Line& line : lines) {
    text += line.text + "\r\n";
  }
  disk_.Put(fileName, std::move(text));
  return true;
}

}  // namespace hta::fakes
