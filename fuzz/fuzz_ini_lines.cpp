// IniFile's own line scanning (IsKey, IsSection, TotalKeys, TotalSections)
// over arbitrary file contents, checked against a second, simpler split of
// the same text; and EnumerateSection and Setting over arbitrary answers of
// the profile call, which must never be read past the buffer.
//
// The ports are tiny local stand-ins: the fuzz build has no test fakes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ini_file.h"

namespace {

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// Every path reads as the fuzz input.
class InputFileSystem final : public hta::FileSystem {
 public:
  explicit InputFileSystem(std::string_view bytes) : bytes_(bytes) {}
  std::string PathFromAnsi(std::string_view text) override { return std::string(text); }
  hta::FileFailure LastFailure() override { return hta::FileFailure::None; }
  std::optional<std::string> ReadAll(const std::string&) override { return std::string(bytes_); }
  std::unique_ptr<hta::FileWriter> OpenForWrite(const std::string&, bool) override { return nullptr; }
  std::optional<std::int64_t> FileLength(const std::string&) override {
    return static_cast<std::int64_t>(bytes_.size());
  }
  std::optional<std::uint64_t> LastWriteTime(const std::string&) override { return 0; }
  hta::FileState StateOf(const std::string&) override { return hta::FileState::Present; }
  bool FolderExists(const std::string&) override { return false; }
  bool CreateFolder(const std::string&) override { return false; }
  bool MoveFileReplacing(const std::string&, const std::string&) override { return false; }
  bool RemoveFile(const std::string&) override { return false; }
  std::vector<std::string> FileNamesIn(const std::string&) override { return {}; }

 private:
  std::string_view bytes_;
};

// Answers every read with the fuzz input, cut to the buffer, but reports the
// input's full length: a count that overstates what was copied.
class InputProfile final : public hta::ProfileCalls {
 public:
  explicit InputProfile(std::string_view bytes) : bytes_(bytes) {}
  std::size_t ProfileRead(const char*, const char*, const char*, std::span<char> buffer,
                          const char*) override {
    std::copy_n(bytes_.data(), std::min(bytes_.size(), buffer.size()), buffer.data());
    return bytes_.size();
  }
  bool ProfileWrite(const char*, const char*, const char*, const char*) override { return true; }

 private:
  std::string_view bytes_;
};

class FixedEnvironment final : public hta::Environment {
 public:
  std::string ExeFolder() override { return "C:\\"; }
  std::string ExeName() override { return "Launcher"; }
  std::string TempFolder() override { return "C:\\Temp\\"; }
};

// The reference split: CR LF and lone CR become LF first, then the text is
// cut at every LF; an empty rest after the last line end is no line.
std::vector<std::string> ReferenceLines(std::string_view text) {
  std::string unified;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      unified.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
    } else {
      unified.push_back(text[i]);
    }
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < unified.size()) {
    const std::size_t end = std::min(unified.find('\n', start), unified.size());
    lines.push_back(unified.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  InputFileSystem files(input);
  InputProfile profile(input);
  FixedEnvironment environment;
  hta::IniFile ini(profile, files, environment);

  // The whole input as one line.
  Check(hta::IniFile::IsKey(input) == (input.find('=') != std::string_view::npos));
  Check(hta::IniFile::IsSection(input) == (input.size() >= 2 && input.front() == '[' && input.back() == ']'));

  std::int32_t keys = 0;
  std::int32_t sections = 0;
  for (const std::string& line : ReferenceLines(input)) {
    keys += hta::IniFile::IsKey(line) ? 1 : 0;
    sections += hta::IniFile::IsSection(line) ? 1 : 0;
  }
  Check(ini.TotalKeys() == keys);
  Check(ini.TotalSections() == sections);

  // The key list: every listed name is NUL-free, and the names with their
  // NULs are exactly the start of what the call put into the buffer.
  std::vector<std::string> names;
  std::int32_t count = -1;
  ini.EnumerateSection("s", names, count);
  Check(count >= 0 && static_cast<std::size_t>(count) == names.size());
  std::string joined;
  for (const std::string& name : names) {
    Check(name.find('\0') == std::string::npos);
    joined += name;
    joined.push_back('\0');
  }
  const std::string_view kept = input.substr(0, std::min<std::size_t>(input.size(), 8192));
  Check(kept.substr(0, joined.size()) == joined);
  Check(kept.find('\0', joined.size()) == std::string_view::npos);

  const std::string value = ini.Setting("s", "k", "default");
  Check(value.size() <= 1024 && input.substr(0, value.size()) == value);
  return 0;
}
