#pragma once

namespace hta {

// The application menu holds ten entries, numbered 1 to 10. A reply's later
// applications only set the application parameter.
inline constexpr int kAppMenuEntries = 10;

}  // namespace hta
