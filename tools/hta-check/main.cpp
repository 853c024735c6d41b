// hta-check: reads what a back office sends the way HTA Launcher does and
// prints what the launcher would do with it. See README.md beside this file.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "live.h"
#include "reply_check.h"
#include "report.h"
#include "transfer/internet_file.h"
#include "win32/wide_text.h"
#include "win32/win32_file_system.h"
#include "win32/win32_headers.h"

#include <shellapi.h>  // after the Windows headers

namespace {

constexpr std::string_view kUsage =
    "usage: hta-check [--require-https] --bootstrap-reply FILE\n"
    "       hta-check [--require-https] --login-reply FILE\n"
    "       hta-check [--require-https] --action-list FILE\n"
    "       hta-check [--require-https] [--poll] --live BOOTSTRAP-ADDRESS USER\n"
    "\n"
    "Reads what a back office sends the way HTA Launcher reads it and prints what\n"
    "the launcher would do: the session server, the applications, the downloads,\n"
    "the messages, the action list and each action, with warnings.\n"
    "\n"
    "  --bootstrap-reply, --login-reply, --action-list FILE\n"
    "                    check a reply saved in FILE; nothing is sent\n"
    "  --live BOOTSTRAP-ADDRESS USER\n"
    "                    send the bootstrap and login requests for the user string\n"
    "                    USER and fetch the downloads (kept nowhere: no file is\n"
    "                    written); the output never shows USER or any query\n"
    "  --poll            also fetch the action list (this may use up the user's\n"
    "                    pending actions)\n"
    "  --require-https   as under the RequireHttps policy: only https addresses\n"
    "\n"
    "Exit code: 0 when the launcher would log in and use everything, 1 otherwise,\n"
    "2 for wrong arguments or an unreadable FILE.\n";

struct Arguments {
  bool requireHttps = false;
  std::string mode;  // the option that names what is checked
  std::string file;
  int fileIndex = 0;  // of `file` in argv
  hta::check::LiveRequest live;
};

std::optional<Arguments> ParseArguments(int argc, char** argv) {
  Arguments arguments;
  bool poll = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    const int left = argc - i - 1;
    if (option == "--require-https") {
      arguments.requireHttps = true;
    } else if (option == "--poll") {
      poll = true;
    } else if (arguments.mode.empty() && left >= 1 &&
               (option == "--bootstrap-reply" || option == "--login-reply" || option == "--action-list")) {
      arguments.mode = option;
      arguments.fileIndex = ++i;
      arguments.file = argv[i];
    } else if (arguments.mode.empty() && left >= 2 && option == "--live") {
      arguments.mode = option;
      arguments.live.endpoint = argv[++i];
      arguments.live.userString = argv[++i];
    } else {
      return std::nullopt;
    }
  }
  if (arguments.mode.empty() || (poll && arguments.mode != "--live")) {
    return std::nullopt;
  }
  arguments.live.poll = poll;
  return arguments;
}

// The file's bytes; nullopt when it cannot be read or is longer than any
// reply the launcher reads. `path` is UTF-8, as the launcher's own file
// calls take it.
std::optional<std::string> ReadReply(const std::string& path) {
  hta::win32::Win32FileSystem files;
  const std::optional<std::int64_t> length = files.FileLength(path);
  if (!length || *length > static_cast<std::int64_t>(hta::kTransferLimits.textBytes)) {
    return std::nullopt;
  }
  std::optional<std::string> bytes = files.ReadAll(path);
  return bytes && bytes->size() <= hta::kTransferLimits.textBytes ? bytes : std::nullopt;
}

// Argument `index` of this process's command line as the shell gave it, in
// UTF-8: the ANSI `argv` spells letters outside the code page as "?", and
// a file in a folder named in another script would not be found. Empty
// when there is no such argument.
std::string WideArgument(int index) {
  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&LocalFree)> arguments(CommandLineToArgvW(GetCommandLineW(), &count),
                                                                &LocalFree);
  return arguments && index < count ? hta::win32::Utf8FromWide(arguments.get()[index]) : std::string();
}

void RunOffline(const Arguments& arguments, const std::string& reply, hta::check::Report& report) {
  const hta::check::CheckContext context{hta::HttpsRule(arguments.requireHttps), {}, {}};
  if (arguments.mode == "--bootstrap-reply") {
    (void)hta::check::CheckBootstrapReply(reply, context, report);
  } else if (arguments.mode == "--login-reply") {
    (void)hta::check::CheckLoginReply(reply, context, report);
  } else {
    hta::check::CheckActionList(reply, context, report);
  }
}

}  // namespace

int main(int argc, char** argv) {
  hta::win32::RestrictDllSearch();
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
    return 0;
  }
  const std::optional<Arguments> arguments = ParseArguments(argc, argv);
  if (!arguments) {
    std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
    return 2;
  }
  hta::check::Report report(stdout);
  if (arguments->mode == "--live") {
    hta::check::CheckLive(arguments->live, arguments->requireHttps, report);
  } else {
    const std::optional<std::string> reply = ReadReply(WideArgument(arguments->fileIndex));
    if (!reply) {
      std::fprintf(stderr, "hta-check: cannot read %s, or it is longer than 16 MiB\n",
                   arguments->file.c_str());
      return 2;
    }
    RunOffline(*arguments, *reply, report);
  }
  if (report.Problems() == 0) {
    std::printf("result: the launcher would use everything (exit code 0)\n");
    return 0;
  }
  std::printf("result: %d problem(s) (exit code 1)\n", report.Problems());
  return 1;
}
