#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Reading what a response says about itself: the raw header block of the
// header request, and the values a download positions itself by.
namespace hta {

inline constexpr std::uint32_t kHttpPartialContent = 206;
inline constexpr std::uint32_t kHttpNotModified = 304;
inline constexpr std::uint32_t kHttpFirstFailure = 400;
inline constexpr std::uint32_t kHttpRangeNotSatisfiable = 416;

// The value of a raw header line whose lower-cased form starts with `prefix`
// (name, colon and one space): from after the prefix to the next CR LF, in
// the case the server sent. nullopt when the prefix does not occur. The first
// occurrence anywhere in the block wins, as a plain text search finds it.
std::optional<std::string_view> RawHeaderValue(std::string_view headers, std::string_view lowerHeaders,
                                               std::string_view prefix);

// Whether a raw header block is a response's: it opens with its status
// line ("HTTP/1.1 200 OK").
bool StartsWithStatusLine(std::string_view headers);

// Content-Length as a 32-bit signed number; -1 when it is not one (nothing
// reads FileSize, so a sound marker beats a guess).
std::int32_t ParseFileSize(std::string_view text);

// A Content-Range value: "bytes 5000-9999/10000" for a part,
// "bytes */10000" on a refused range.
struct ContentRangeValue {
  std::optional<std::int64_t> first;  // nullopt for "*"
  std::optional<std::int64_t> size;   // nullopt for "*"
};

std::optional<ContentRangeValue> ParseContentRange(std::string_view value);

}  // namespace hta
