#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "markup/reply_targets.h"

namespace hta {

// The back office's tag markup. This is not XML: elements are found by
// exact, case-sensitive substring search for fixed start markers; anything
// that does not match a marker exactly is ignored, and entities, comments and
// nesting mean nothing.
//
// Every Process* scan hands the elements of its kind to their receiver in
// text order, one at a time, each receiver call complete before the next
// element is looked for. The text must stay alive and unchanged for the
// whole call: receivers may run the message loop.

enum class MarkupResult {
  Ok,
  // An element could not be cut out (its closing marker or an attribute's
  // closing quote is missing). The scan stopped there; the effects of the
  // elements handled before stay. What to do next is the caller's choice.
  Malformed,
};

// The value of attribute `name` in `element`: the text after the first
// `name=` plus one skipped character (the opening quote, whatever it is), up
// to the next double quote. "" when `name=` does not occur; nullopt when no
// double quote follows (malformed).
std::optional<std::string> ReadAttribute(std::string_view name, std::string_view element);

// The element's text: after the first ">" up to the next "<"; "" without ">".
std::string ElementText(std::string_view element);

[[nodiscard]] MarkupResult ProcessApplications(std::string_view text, ApplicationTarget& target);
[[nodiscard]] MarkupResult ProcessDownloads(std::string_view text, DownloadTarget& target);
[[nodiscard]] MarkupResult ProcessMessages(std::string_view text, MessageTarget& target);
// Clears the address first, so a text without actionurl leaves it empty.
[[nodiscard]] MarkupResult ProcessActionUrl(std::string_view text, ActionUrlTarget& target);
[[nodiscard]] MarkupResult ProcessActions(std::string_view text, ActionTarget& target);

}  // namespace hta
