#pragma once

#include <cstdint>
#include <string>

namespace hta {

// The values of the running session that several parts of the launcher
// share: the login writes them, the application menu, the action poll and
// the fetch read them, the start-up and shut-down fill and store them.
// There is exactly one, owned by Launcher and handed by reference to whatever
// needs it; nothing keeps a copy. It lives as long as the main window.
//
// Numbers keep the 16-bit range the back office and the stored settings
// were made for.
struct SessionState {
  // The user string of the last login that got a reply, or the remembered
  // one until then; stored at shut-down.
  std::string userString;
  // The application folder: the temporary folder and "hta\"; always ends in
  // a backslash, and file names are joined to it directly.
  std::string htaFolder;
  // Menu entry (1 to 10) of the main application the last reply named; 0
  // for none. Cleared only at start-up: a reply without a main application
  // leaves the earlier one in force.
  std::int16_t mainAppIndex = 0;
  // The `param` of the last application element of the last reply.
  std::string appParam;
  // Read from the registry at start-up; empty when absent.
  std::string bootParams;
  // The session server of the running login; emptied when a login starts.
  std::string serverUrl;
  // The action-list address of the last reply; empty: no polling.
  std::string actionUrl;
};

}  // namespace hta
