#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "http_head.h"

namespace backoffice {

// The request log: what a test reads to learn what the program under test
// actually sent. One line per request, written the moment its head has been
// read (before the body, before the answer), so a test that sees its answer
// also sees its line:
//
//   <seq> TAB <method> TAB <target> TAB <Name>: <value> TAB <Name>: <value> ... LF
//
// seq counts from 1 in arrival order across all connections. The target is
// exactly as sent, query and (in proxy form) scheme and host included. Fields
// keep the client's order and spelling. CR, LF and TAB inside a value become a
// space, so splitting a line on TAB is always right; nothing else is escaped.
// The log route /__requests is never logged itself.
//
// Kept in memory for /__requests and, with --log, appended and flushed line by
// line to a file, so a crash of this server never loses what came before.
class RequestLog {
 public:
  RequestLog() = default;
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;
  ~RequestLog();

  // Opens `path` for appending. False (with errno set) when it cannot.
  bool Open(const std::string& path);
  void Record(const RequestHead& head);
  std::string Snapshot() const;

 private:
  mutable std::mutex mu_;
  std::FILE* file_ = nullptr;
  std::uint64_t seq_ = 0;
  std::string text_;
};

std::string FormatLogLine(std::uint64_t seq, const RequestHead& head);

}  // namespace backoffice
