#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace hta::check {

// What hta-check prints, one finding a line, and the count of findings
// that mean the launcher would not use everything the back office sent.
class Report {
 public:
  explicit Report(std::FILE* out) : out_(out) {}

  // A fact: what the launcher would do.
  void Say(std::string_view text);
  // Something sent that the launcher would not use, or would use otherwise
  // than the back office meant: counted.
  void Refuse(std::string_view text);
  // A warning; counted unless `counted` is false (plain-HTTP links, which
  // the launcher fetches all the same unless HTTPS is required).
  void Warn(std::string_view text, bool counted = true);

  int Problems() const { return problems_; }

 private:
  void Print(std::string_view prefix, std::string_view text);

  std::FILE* out_;
  int problems_ = 0;
};

// A text from the back office as it is printed: in double quotes, with
// control characters shown as "?", so no reply can steer the console.
std::string Quoted(std::string_view text);

// An address as it is printed: without its query and fragment (they may
// carry a user's data), control characters shown as "?".
std::string Address(std::string_view address);

}  // namespace hta::check
