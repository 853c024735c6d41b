#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hta {

// What a server says of a file so that the next request for it can ask
// "only if it changed": its ETag and its Last-Modified date, as sent.
struct Validators {
  std::string etag;
  std::string lastModified;

  bool Empty() const { return etag.empty() && lastModified.empty(); }
};

// The value of header `name` (any letter case) in a raw response header
// block (status line, then lines ending in CR LF), with the blanks around
// it removed; empty when no line carries it. Only whole header names count:
// "X-ETag" is not "ETag".
std::string HeaderValue(std::string_view rawHeaders, std::string_view name);

// The validators of a response. A value that could not be sent back as it
// came (a control character, more than kLongestValidator bytes) is left
// out, so it is never asked with.
Validators ResponseValidators(std::string_view rawHeaders);

// Longer values are not kept: no real server sends them, and the store's
// lines stay short.
inline constexpr std::size_t kLongestValidator = 256;

// Whether `value` can be sent back in a header line as it is.
bool IsSendableValidator(std::string_view value);

// The request header lines that ask for the file only if it changed:
// "If-None-Match" with the ETag and "If-Modified-Since" with the date, each
// as the server sent it (never a local clock's date), each only when
// present and sendable. Empty when neither is.
std::string ConditionalLines(const Validators& validators);

// A 304: the server says the file it has is the one we asked with.
inline constexpr unsigned kHttpNotModified = 304;

}  // namespace hta
