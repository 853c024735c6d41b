#pragma once

#include <string_view>

namespace hta {

// The main window's caption, and the title of the program's message boxes,
// so a box is recognisably the launcher's.
inline constexpr std::string_view kAppTitle = "App Launcher";

}  // namespace hta
