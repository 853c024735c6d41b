#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ports/log.h"

namespace hta::fakes {

// The process's log while it lives, at `level`: each line kept as
// "INFO what" (ERROR, INFO, DEBUG).
class FakeLog final : public Log {
 public:
  explicit FakeLog(LogLevel level = LogLevel::Info) {
    SetLog(this);
    SetLogLevel(level);
  }
  ~FakeLog() override { SetLog(nullptr); }
  FakeLog(const FakeLog&) = delete;
  FakeLog& operator=(const FakeLog&) = delete;

  void Write(LogLevel level, std::string_view text) override {
    static constexpr const char* kNames[] = {"ERROR ", "INFO ", "DEBUG "};
    lines.push_back(kNames[static_cast<int>(level)] + std::string(text));
  }

  std::vector<std::string> lines;
};

}  // namespace hta::fakes
