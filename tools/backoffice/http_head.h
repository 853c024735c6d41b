#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace backoffice {

// A request line and its header fields, as the client sent them. Names keep
// their case so the request log shows exactly what went over the wire (the
// Windows-side tests check WinINet's spelling).
struct RequestHead {
  std::string method;
  std::string target;    // as written: origin form, absolute form (proxy) or authority form (CONNECT)
  int minorVersion = 1;  // HTTP/1.x
  std::vector<std::pair<std::string, std::string>> headers;
  // What routes are matched against: the target without scheme, authority,
  // query and fragment. "" for CONNECT, which names no path at all.
  std::string path;

  // The first field called `name` (any case), or null.
  const std::string* Find(std::string_view name) const;
};

// Where the head in `buf` ends: the offset just past the empty line, or npos
// while it is incomplete. Bare LF line ends are accepted as well as CRLF.
std::size_t FindHeadEnd(std::string_view buf);

// Parses a complete head (everything FindHeadEnd measured). False for
// anything malformed: the caller answers 400 and drops the connection,
// because after a request it cannot parse it cannot know where the next one
// starts.
bool ParseRequestHead(std::string_view head, RequestHead* out);

// The routing path of a request target, or false when the target is neither
// origin form ("/p?q") nor absolute form ("http://host/p?q").
bool TargetPath(std::string_view target, std::string* path);

}  // namespace backoffice
