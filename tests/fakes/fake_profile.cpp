#include "fakes/fake_profile.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace hta::fakes {

namespace {

struct Line {
  std::string text;
  std::string ending;  // "\r\n", "\r", "\n", or "" for a last line without one
};

enum class Kind { Other, Header, Key };

struct Parsed {
  Kind kind = Kind::Other;
  std::string name;
  std::string value;
};

// One section: its header line (none for the key lines before the first
// header) and the lines up to the next header.
struct Section {
  std::string name;
  std::optional<std::size_t> header;
  std::size_t begin = 0;  // first line after the header
  std::size_t end = 0;    // the next header, or the number of lines
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Trim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) {
    ++begin;
  }
  while (end > begin && IsBlank(text[end - 1])) {
    --end;
  }
  return std::string(text.substr(begin, end - begin));
}

bool SameName(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

std::vector<Line> SplitLines(std::string_view bytes) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(Line{std::string(bytes.substr(start)), ""});
      break;
    }
    std::size_t next = end + 1;
    if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n') {
      ++next;
    }
    lines.push_back(
        Line{std::string(bytes.substr(start, end - start)), std::string(bytes.substr(end, next - end))});
    start = next;
  }
  return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string bytes;
  for (const Line& line : lines) {
    bytes += line.text;
    bytes += line.ending;
  }
  return bytes;
}

Parsed Parse(const std::string& text) {
  Parsed parsed;
  const std::string trimmed = Trim(text);
  if (!trimmed.empty() && trimmed.front() == '[') {
    const std::size_t close = trimmed.find(']');
    if (close != std::string::npos) {
      parsed.kind = Kind::Header;
      parsed.name = Trim(std::string_view(trimmed).substr(1, close - 1));
    }
    return parsed;
  }
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string::npos) {
    return parsed;
  }
  parsed.kind = Kind::Key;
  parsed.name = Trim(std::string_view(trimmed).substr(0, equals));
  parsed.value = Trim(std::string_view(trimmed).substr(equals + 1));
  if (parsed.value.size() >= 2 && parsed.value.front() == '"' && parsed.value.back() == '"') {
    parsed.value = parsed.value.substr(1, parsed.value.size() - 2);
  }
  return parsed;
}

std::vector<Section> FindSections(const std::vector<Line>& lines) {
  std::vector<Section> sections;
  Section leading{"", std::nullopt, 0, 0};
  bool leadingHasKeys = false;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const Parsed parsed = Parse(lines[index].text);
    if (parsed.kind == Kind::Header) {
      if (sections.empty()) {
        leading.end = index;
        if (leadingHasKeys) {
          sections.push_back(leading);
        }
      } else {
        sections.back().end = index;
      }
      sections.push_back(Section{parsed.name, index, index + 1, lines.size()});
    } else if (parsed.kind == Kind::Key && sections.empty()) {
      leadingHasKeys = true;
    }
  }
  if (sections.empty() && leadingHasKeys) {
    leading.end = lines.size();
    sections.push_back(leading);
  }
  return sections;
}

const Section* FindSection(const std::vector<Section>& sections, const char* name) {
  const std::string wanted = Trim(name);
  for (const Section& section : sections) {
    if (SameName(section.name, wanted)) {
      return &section;
    }
  }
  return nullptr;
}

// The line index of the section's first key called `name`.
std::optional<std::size_t> FindKey(const std::vector<Line>& lines, const Section& section, const char* name) {
  const std::string wanted = Trim(name);
  for (std::size_t index = section.begin; index < section.end; ++index) {
    const Parsed parsed = Parse(lines[index].text);
    if (parsed.kind == Kind::Key && SameName(parsed.name, wanted)) {
      return index;
    }
  }
  return std::nullopt;
}

// Copies `text` cut to the buffer and NUL-terminates it.
std::size_t CopyCut(std::string_view text, std::span<char> buffer) {
  if (buffer.empty()) {
    return 0;
  }
  const std::size_t count = std::min(text.size(), buffer.size() - 1);
  std::copy_n(text.data(), count, buffer.data());
  buffer[count] = '\0';
  return count;
}

std::size_t CopyDefault(const char* defaultValue, std::span<char> buffer) {
  std::string_view text(defaultValue);
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return CopyCut(text, buffer);
}

std::size_t CopyKeyList(const std::string& list, std::span<char> buffer) {
  if (buffer.size() < 2) {
    return CopyCut("", buffer);
  }
  const std::size_t room = buffer.size() - 2;
  if (list.size() <= room) {
    std::copy_n(list.data(), list.size(), buffer.data());
    buffer[list.size()] = '\0';
    return list.size();
  }
  std::copy_n(list.data(), room, buffer.data());
  buffer[room] = '\0';
  buffer[room + 1] = '\0';
  return room;
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
  calls.push_back(Call{false, section, key ? std::optional<std::string>(key) : std::nullopt,
                       std::string(defaultValue), buffer.size(), fileName});
  std::optional<std::string> contents;
  if (!files_.IsUnreadable(fileName)) {
    contents = files_.Contents(fileName);
  }
  if (!contents) {
    return CopyDefault(defaultValue, buffer);
  }
  const std::vector<Line> lines = SplitLines(*contents);
  const std::vector<Section> sections = FindSections(lines);
  const Section* found = FindSection(sections, section);
  if (found == nullptr) {
    return CopyDefault(defaultValue, buffer);
  }
  if (key == nullptr) {
    std::string list;
    for (std::size_t index = found->begin; index < found->end; ++index) {
      const Parsed parsed = Parse(lines[index].text);
      if (parsed.kind == Kind::Key && (parsed.name.empty() || parsed.name.front() != ';')) {
        list += parsed.name;
        list.push_back('\0');
      }
    }
    return CopyKeyList(list, buffer);
  }
  const std::optional<std::size_t> line = FindKey(lines, *found, key);
  if (!line) {
    return CopyDefault(defaultValue, buffer);
  }
  return CopyCut(Parse(lines[*line].text).value, buffer);
}

bool FakeProfile::ProfileWrite(const char* section, const char* key, const char* value,
                               const char* fileName) {
  calls.push_back(Call{true, section, key ? std::optional<std::string>(key) : std::nullopt,
                       value ? std::optional<std::string>(value) : std::nullopt, 0, fileName});
  if (files_.IsUnreadable(fileName)) {
    return false;
  }
  const std::optional<std::string> contents = files_.Contents(fileName);
  const bool removing = key == nullptr || value == nullptr;
  if (!contents && removing) {
    return true;
  }
  std::vector<Line> lines = SplitLines(contents.value_or(std::string()));
  const std::vector<Section> sections = FindSections(lines);
  const Section* found = FindSection(sections, section);

  if (key == nullptr) {
    if (found != nullptr) {
      const std::size_t first = found->header.value_or(found->begin);
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(first),
                  lines.begin() + static_cast<std::ptrdiff_t>(found->end));
    }
  } else if (value == nullptr) {
    if (found != nullptr) {
      if (const std::optional<std::size_t> line = FindKey(lines, *found, key)) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*line));
      }
    }
  } else if (found == nullptr) {
    EndLine(lines, lines.size() - 1);
    lines.push_back(Line{"[" + Trim(section) + "]", "\r\n"});
    lines.push_back(Line{Trim(key) + "=" + value, "\r\n"});
  } else if (const std::optional<std::size_t> line = FindKey(lines, *found, key)) {
    lines[*line].text = Parse(lines[*line].text).name + "=" + value;
  } else {
    // After the section's last key, so blank lines and comments that close
    // the section stay where they are.
    std::size_t after = found->header ? *found->header : found->begin;
    bool anchored = found->header.has_value();
    for (std::size_t index = found->begin; index < found->end; ++index) {
      if (Parse(lines[index].text).kind == Kind::Key) {
        after = index;
        anchored = true;
      }
    }
    const std::size_t at = anchored ? after + 1 : found->begin;
    if (anchored) {
      EndLine(lines, after);
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{Trim(key) + "=" + value, "\r\n"});
  }
  files_.Put(fileName, JoinLines(lines));
  return true;
}

}  // namespace hta::fakes
