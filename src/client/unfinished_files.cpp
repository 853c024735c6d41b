#include "client/unfinished_files.h"

#include "client/app_menu.h"
#include "client/fetch.h"
#include "common/ascii.h"
#include "ports/log.h"

namespace hta {

void RemoveUnfinishedFiles(FileSystem& files, const std::string& folder) {
  for (const std::string& name : files.FileNamesIn(folder)) {
    if ((EndsWithIgnoringCase(name, kTempSuffix) || EndsWithIgnoringCase(name, kNewVersionSuffix)) &&
        files.RemoveFile(folder + name)) {
      LogInfo("Unfinished file removed: " + name);
    }
  }
}

}  // namespace hta
