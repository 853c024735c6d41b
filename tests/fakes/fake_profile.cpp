#include "fakes/fake_profile.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace hta::fakes {

namespace {

enum class Kind { Other, Header, Key };

// One line of the file, as written and as read.
struct Line {
  std::string text;
  std::string ending;  // "\r\n", "\r", "\n", or "" for a last line without one
  Kind kind = Kind::Other;
  std::string name{};   // a header's or key's, trimmed
  std::string value{};  // a key's, trimmed and without enclosing double quotes
};

std::string Trim(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(" \t");
  return begin == std::string_view::npos
             ? std::string()
             : std::string(text.substr(begin, text.find_last_not_of(" \t") + 1 - begin));
}

bool SameName(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

Line Parse(std::string text, std::string ending) {
  Line line{std::move(text), std::move(ending)};
  const std::string trimmed = Trim(line.text);
  const std::size_t close = trimmed.find(']');
  const std::size_t equals = trimmed.find('=');
  if (trimmed.starts_with("[")) {
    if (close != std::string::npos) {
      line.kind = Kind::Header;
      line.name = Trim(std::string_view(trimmed).substr(1, close - 1));
    }
  } else if (equals != std::string::npos) {
    line.kind = Kind::Key;
    line.name = Trim(std::string_view(trimmed).substr(0, equals));
    line.value = Trim(std::string_view(trimmed).substr(equals + 1));
    if (line.value.size() >= 2 && line.value.front() == '"' && line.value.back() == '"') {
      line.value = line.value.substr(1, line.value.size() - 2);
    }
  }
  return line;
}

std::vector<Line> SplitLines(std::string_view bytes) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = std::min(bytes.find_first_of("\r\n", start), bytes.size());
    const std::size_t next = end + (bytes.substr(end, 2) == "\r\n" ? 2 : end < bytes.size() ? 1 : 0);
    lines.push_back(
        Parse(std::string(bytes.substr(start, end - start)), std::string(bytes.substr(end, next - end))));
    start = next;
  }
  return lines;
}

// The first section called `name`: its header line and the next header (or
// the number of lines).
std::optional<std::pair<std::size_t, std::size_t>> FindSection(const std::vector<Line>& lines,
                                                               const char* name) {
  for (std::size_t header = 0; header < lines.size(); ++header) {
    if (lines[header].kind == Kind::Header && SameName(lines[header].name, Trim(name))) {
      std::size_t end = header + 1;
      while (end < lines.size() && lines[end].kind != Kind::Header) {
        ++end;
      }
      return std::pair{header, end};
    }
  }
  return std::nullopt;
}

// The line of the section's first key called `name`.
std::optional<std::size_t> FindKey(const std::vector<Line>& lines,
                                   std::pair<std::size_t, std::size_t> section, const char* name) {
  for (std::size_t index = section.first + 1; index < section.second; ++index) {
    if (lines[index].kind == Kind::Key && SameName(lines[index].name, Trim(name))) {
      return index;
    }
  }
  return std::nullopt;
}

// Copies `text` cut to the buffer and NUL-terminates it.
std::size_t CopyCut(std::string_view text, std::span<char> buffer) {
  const std::size_t count = std::min(text.size(), buffer.size() - 1);
  std::copy_n(text.data(), count, buffer.data());
  buffer[count] = '\0';
  return count;
}

std::size_t CopyDefault(std::string_view text, std::span<char> buffer) {
  return CopyCut(text.substr(0, text.find_last_not_of(' ') + 1), buffer);
}

// A list cut short ends in two NULs; one that fits ends in the NUL of its
// last name and one more.
std::size_t CopyKeyList(const std::string& list, std::span<char> buffer) {
  const std::size_t count = std::min(list.size(), buffer.size() - 2);
  std::copy_n(list.data(), count, buffer.data());
  buffer[count] = '\0';
  if (count < list.size()) {
    buffer[count + 1] = '\0';
  }
  return count;
}

// Makes sure the line before an insertion point ends, so the new line does
// not run on from it.
void EndLine(std::vector<Line>& lines, std::size_t index) {
  if (index < lines.size() && lines[index].ending.empty()) {
    lines[index].ending = "\r\n";
  }
}

}  // namespace

std::size_t FakeProfile::ProfileRead(const char* section, const char* key, const char* defaultValue,
                                     std::span<char> buffer, const char* fileName) {
  calls.push_back(Call{buffer.size()});
  const std::optional<std::string> contents =
      files_.IsUnreadable(fileName) ? std::nullopt : files_.Contents(fileName);
  const std::vector<Line> lines = SplitLines(contents.value_or(std::string()));
  const auto found = FindSection(lines, section);
  if (found && key == nullptr) {
    std::string list;
    for (std::size_t index = found->first + 1; index < found->second; ++index) {
      if (lines[index].kind == Kind::Key && !lines[index].name.starts_with(";")) {
        list += lines[index].name;
        list.push_back('\0');
      }
    }
    return CopyKeyList(list, buffer);
  }
  const std::optional<std::size_t> line = found ? FindKey(lines, *found, key) : std::nullopt;
  return line ? CopyCut(lines[*line].value, buffer) : CopyDefault(defaultValue, buffer);
}

bool FakeProfile::ProfileWrite(const char* section, const char* key, const char* value,
                               const char* fileName) {
  calls.push_back(Call{0});
  if (files_.IsUnreadable(fileName)) {
    return false;
  }
  const std::optional<std::string> contents = files_.Contents(fileName);
  if (!contents && (key == nullptr || value == nullptr)) {
    return true;
  }
  std::vector<Line> lines = SplitLines(contents.value_or(std::string()));
  const auto found = FindSection(lines, section);
  const auto at = [&](std::size_t index) { return lines.begin() + static_cast<std::ptrdiff_t>(index); };
  if (key == nullptr) {
    if (found) {
      lines.erase(at(found->first), at(found->second));
    }
  } else if (value == nullptr) {
    if (const auto line = found ? FindKey(lines, *found, key) : std::nullopt) {
      lines.erase(at(*line));
    }
  } else if (!found) {
    EndLine(lines, lines.size() - 1);
    lines.push_back(Line{"[" + Trim(section) + "]", "\r\n"});
    lines.push_back(Line{Trim(key) + "=" + value, "\r\n"});
  } else if (const auto line = FindKey(lines, *found, key)) {
    lines[*line].text = lines[*line].name + "=" + value;
  } else {
    // After the section's last key, so blank lines and comments that close
    // the section stay where they are.
    std::size_t after = found->first;
    for (std::size_t index = after + 1; index < found->second; ++index) {
      after = lines[index].kind == Kind::Key ? index : after;
    }
    EndLine(lines, after);
    lines.insert(at(after + 1), Line{Trim(key) + "=" + value, "\r\n"});
  }
  std::string bytes;
  for (const Line& line : lines) {
    bytes += line.text + line.ending;
  }
  files_.Put(fileName, std::move(bytes));
  return true;
}

}  // namespace hta::fakes
