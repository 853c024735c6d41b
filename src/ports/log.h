#pragma once

#include <string>
#include <string_view>

// The launcher's log, for support staff: one line per event. The lines
// written at "info" (`<...>` is filled in; an address is always shown as
// scheme://host/path, see LogAddress):
//
//   Start: version <x.y.z>, <exe path>, endpoints from <policy|command line|built-in>
//   Proxy: <host>:<port>, user <user>, from <policy|INI>
//   Proxy: none (the system's settings)
//   Bootstrap <address>: <n> bytes, server <address>
//   Bootstrap <address>: no reply
//   Bootstrap <address>: no server named in the reply
//   Bootstrap <address>: server <address> refused, HTTPS required
//   Login: no bootstrap endpoint answered
//   Login <address>: no reply
//   Login <address>: <n> bytes, main application <opened|none>
//   Download written: <file>
//   Download refused: <file>: <not a plain file name|empty reply|could not be written (<why>)|
//                              the file in place is in use>
//     <why>: the disk is full|access denied|in use by another program|the folder is missing|
//            the path is too long|an error of the file system
//   Fetch failed: <file>: <the transfer's error text>
//   Unfinished file removed: <file>
//   Launch: <file>
//   Launch refused: <file>: <not a plain .hta file name|the path is too long>
//   Sound: <file>
//   Sound failed: <file>
//   Sound refused: <file>: <could not be read (<why>)|larger than 16 MiB|not a whole wave file>
//   Poll: <n> bytes, <m> actions
//   Popup shown
//   Message shown
//   Transfer failed: <address>: <not opened|HTTPS required|no response|HTTP <status>|read failed>
//   Time limit hit: <address>: link too slow
//   End: <another copy is running|no bootstrap endpoint answered|closed>
//
// At "error" only the lines about the policies themselves:
//   Policy <name> ignored: not a <REG_SZ|REG_MULTI_SZ> value
//   Policy LogLevel ignored: not error, info or debug
//   Policy RequireHttps unreadable: HTTPS required
// "debug" adds: Transfer <address>: <n> bytes in <ms> ms
//
// Never written: query strings, the user string, application parameters,
// passwords, message and popup texts.
//
// Lines are UTF-8, the encoding of paths (a file name from a server's reply
// is logged once it is a path); an address is logged in ASCII, its other
// bytes percent-encoded.

namespace hta {

enum class LogLevel { Error = 0, Info = 1, Debug = 2 };

// Where the lines go. Write never fails and never blocks for long: a line
// that cannot be written is dropped. Never re-enters the core.
class Log {
 public:
  virtual ~Log() = default;
  virtual void Write(LogLevel level, std::string_view text) = 0;
};

// The one log of the process, set by the program at start-up (none: lines
// are dropped), and the most detailed level written.
void SetLog(Log* log);
void SetLogLevel(LogLevel level);
bool LogWanted(LogLevel level);

// Writes `text` when its level is wanted; control characters become "?" so
// a server-named file cannot forge a line, and so does every byte that is
// not part of a UTF-8 character (a text of the ANSI code page that was not
// converted), so the log stays readable as UTF-8.
void WriteLog(LogLevel level, std::string_view text);
inline void LogError(std::string_view text) {
  WriteLog(LogLevel::Error, text);
}
inline void LogInfo(std::string_view text) {
  WriteLog(LogLevel::Info, text);
}
inline void LogDebug(std::string_view text) {
  WriteLog(LogLevel::Debug, text);
}

// An address as it may be logged: scheme, host (with port) and path, without
// the query, the fragment or any user information; bytes outside ASCII are
// percent-encoded, as a browser shows them.
std::string LogAddress(std::string_view address);

}  // namespace hta
