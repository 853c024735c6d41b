#include "request_log.h"

namespace backoffice {

namespace {

void AppendClean(std::string* out, std::string_view s) {
  for (char c : s) {
    out->push_back(c == '\r' || c == '\n' || c == '\t' ? ' ' : c);
  }
}

}  // namespace

std::string FormatLogLine(std::uint64_t seq, const RequestHead& head) {
  std::string line = std::to_string(seq);
  line += '\t';
  AppendClean(&line, head.method);
  line += '\t';
  AppendClean(&line, head.target);
  for (const auto& [name, value] : head.headers) {
    line += '\t';
    AppendClean(&line, name);
    line += ": ";
    AppendClean(&line, value);
  }
  line += '\n';
  return line;
}

RequestLog::~RequestLog() {
  if (file_ != nullptr) {
    std::fclose(file_);
  }
}

bool RequestLog::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "ab");
  return file_ != nullptr;
}

void RequestLog::Record(const RequestHead& head) {
  std::lock_guard<std::mutex> lock(mu_);
  std::string line = FormatLogLine(++seq_, head);
  text_ += line;
  if (file_ != nullptr) {
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
  }
}

std::string RequestLog::Snapshot() const {
  std::lock_guard<std::mutex> lock(mu_);
  return text_;
}

}  // namespace backoffice
