#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "client/validator_store.h"
#include "popup/popups.h"
#include "ports/file_system.h"
#include "ports/shell_open.h"
#include "session/program_state.h"
#include "session/session_state.h"
#include "transfer/internet_file.h"

namespace hta {

// Beside the target, a fetch writes into the target's name with this added;
// the target itself is only ever replaced whole.
inline constexpr std::string_view kTempSuffix = ".temp";

// Whether a file is at `path`, including one that another program holds
// open without sharing it; a folder is not a file. Never fails: any trouble
// counts as no.
bool LocalFileExists(FileSystem& files, const std::string& path);

// Why a file is fetched, which alone decides what its arrival does; its
// name never does (a sound named "x.hta" is not opened, an application
// named "x.mp3" is not taken for an action list).
enum class FetchPurpose {
  ActionList,   // the poll's list: processed
  Sound,        // a sound action's file: played
  Application,  // a launch action's or a popup link's file: opened
};

// How an arrived action list is processed and a sound played: the action
// poll's side of a fetch.
class FetchedFileUse {
 public:
  virtual ~FetchedFileUse() = default;
  virtual void PlayWave(const std::string& path) = 0;
  virtual void ProcessActionList() = 0;
};

// What a fetch reaches the platform through. All are borrowed and must
// outlive the FileFetch.
struct FetchPorts {
  FileSystem& files;
  ShellOpen& shellOpen;
};

// The background fetch: one file at a time through the transfer, into the
// target's ".temp" file, which replaces the target in one move once it is
// complete; the file is then used for what it was fetched for: an action
// list processed, a sound played (PlayWave decides whether it can be), an
// application opened with the application parameter (LaunchFile decides
// whether it may be).
//
// An application file is asked for only if it changed when the store
// remembers validators for it (never an action list, whose every arrival is
// an instruction, nor a sound): a 304 keeps the file in place and uses it as
// a fresh one would be, and a new file's validators are remembered.
//
// One fetch runs at a time. A fetch asked for while another one's transfer
// is yielding (a timer tick, a popup click) cannot wait for it there: the
// running transfer resumes only once that nested call has returned. So it is
// queued and run, in the order asked, once the running fetch has ended
// together with everything its arrival started (an action list's own
// fetches run first, inside its processing). A second request for a target
// that is already queued for the same purpose only takes the newer address:
// one fetch brings the file. Requests made while a login runs on the transfer are queued the
// same way and run when the login has ended (Launcher calls RunQueued).
//
// FetchBusy is true exactly while a transfer runs, and false after every
// outcome, whatever the event handlers found. No outcome leaves the ".temp"
// file behind: a transfer that fails (a full disk, a broken connection) or
// is cancelled removes it at once, and the one line it logs names the file
// and the reason.
//
// `afterFetches` (may be empty) is called each time the outermost fetch has
// ended with its queue, when nothing of the fetch is left on the stack: the
// moment a login that had to wait for the transfer can have it.
class FileFetch final : public InternetFileEvents, public PopupLinkTarget {
 public:
  // Once `program` has ended nothing more is fetched, moved or used; while
  // it runs a login, requests are queued.
  FileFetch(FetchPorts ports, const SessionState& state, InternetFile& transfer, ValidatorStore& validators,
            FetchedFileUse& use, const ProgramState& program, std::function<void()> afterFetches);
  FileFetch(const FileFetch&) = delete;
  FileFetch& operator=(const FileFetch&) = delete;

  // Fetches `url` into the file `target`, then uses it for `purpose`;
  // returns when that is over, or at once when the request was queued.
  void FetchFile(const std::string& url, const std::string& target, FetchPurpose purpose);
  // A popup link's file, opened on arrival.
  void FetchFile(const std::string& url, const std::string& target) override {
    FetchFile(url, target, FetchPurpose::Application);
  }

  // Runs the queued requests, in order, unless a fetch or a login is still
  // running (whose end runs them then); then, with no fetch on the stack,
  // calls `afterFetches`.
  void RunQueued();

  // A transfer is running: a request now is queued behind it.
  bool FetchBusy() const { return fetchBusy_; }

  // A fetch is on the stack: its transfer, or the use of what it brought
  // (an action list being processed, whose popups yield).
  bool Running() const { return depth_ > 0; }

  // Requests waiting to run.
  std::size_t QueuedCount() const { return queue_.size(); }

  // Clears FetchBusy and uses the file just moved into place.
  void UseFetchedFile(const std::string& target, FetchPurpose purpose);

  // InternetFileEvents of the transfer.
  void DownloadComplete() override;
  void DownloadProgress(std::int32_t&) override {}
  void DownloadError(std::string&) override;
  void DownloadCancelled(std::int32_t&) override;

 private:
  struct Request {
    std::string url;
    std::string target;
    FetchPurpose purpose;
  };

  // The transfer itself and the use of its file.
  void Run(const Request& request);
  void Queue(Request request);
  // The transfer's file is in place: `target` replaced, or kept after a 304.
  void Arrived(const std::string& temporary, const std::string& target);

  FetchPorts ports_;
  const SessionState& state_;
  InternetFile& transfer_;
  ValidatorStore& validators_;
  FetchedFileUse& use_;
  const ProgramState& program_;
  std::function<void()> afterFetches_;
  // Fetches on the stack: a fetch started by the use of another's file
  // (an action list's sounds and applications) counts here too.
  int depth_ = 0;
  bool fetchBusy_ = false;
  // Of the transfer running now, for its DownloadComplete. No other
  // transfer starts before that has read it: while one runs, requests are
  // queued.
  FetchPurpose purpose_ = FetchPurpose::Application;
  // The running transfer asked for its file only if it changed.
  bool conditional_ = false;
  std::deque<Request> queue_;
};

}  // namespace hta
