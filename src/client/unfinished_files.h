#pragma once

#include <string>

#include "ports/file_system.h"

namespace hta {

// Removes the files in `folder` (the application folder, ending in a
// backslash) whose names end in a fetch's ".temp" or a download's ".new",
// in any letter case: what a process that was killed (or a machine that
// lost power) left half-written. Only one copy of the launcher runs per
// session and the folder is that session's, so none of them is still being
// written. Each removal is logged. A name the back office itself gave such
// an ending is removed too; it is fetched again when it is next needed.
void RemoveUnfinishedFiles(FileSystem& files, const std::string& folder);

}  // namespace hta
