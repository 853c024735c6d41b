#include "client/fetch.h"

#include <utility>

#include "client/app_menu.h"
#include "client/replace_file.h"
#include "client/request_headers_scope.h"
#include "common/ascii.h"
#include "ports/log.h"

namespace hta {

namespace {

// The file name of a path, for the log: never a folder of the user's, and
// the target's name for a download's temporary file.
std::string FileNameOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  if (EndsWithIgnoringCase(name, kTempSuffix)) {
    name.resize(name.size() - kTempSuffix.size());
  }
  return name;
}

}  // namespace

bool LocalFileExists(FileSystem& files, const std::string& path) {
  const FileState state = files.StateOf(path);
  return state == FileState::Present || state == FileState::Locked;
}

FileFetch::FileFetch(FetchPorts ports, const SessionState& state, InternetFile& transfer,
                     ValidatorStore& validators, FetchedFileUse& use, const ProgramState& program,
                     std::function<void()> afterFetches)
    : ports_(ports),
      state_(state),
      transfer_(transfer),
      validators_(validators),
      use_(use),
      program_(program),
      afterFetches_(std::move(afterFetches)) {}

void FileFetch::FetchFile(const std::string& url, const std::string& target, FetchPurpose purpose) {
  if (program_.Ended()) {
    return;
  }
  Request request{url, target, purpose};
  // Busy means a transfer is on the stack below this call, waiting for it to
  // return; a login holds the transfer the same way.
  if (fetchBusy_ || program_.LoginRunning()) {
    Queue(std::move(request));
    return;
  }
  Run(request);
  RunQueued();
}

void FileFetch::RunQueued() {
  while (!queue_.empty() && depth_ == 0 && !fetchBusy_ && !program_.LoginRunning() && !program_.Ended()) {
    const Request next = std::move(queue_.front());
    queue_.pop_front();
    Run(next);
  }
  if (depth_ == 0 && afterFetches_) {
    afterFetches_();
  }
}

void FileFetch::Queue(Request request) {
  for (Request& waiting : queue_) {
    if (waiting.target == request.target && waiting.purpose == request.purpose) {
      waiting.url = std::move(request.url);
      return;
    }
  }
  queue_.push_back(std::move(request));
}

void FileFetch::Run(const Request& request) {
  ++depth_;
  const std::string temporary = request.target + std::string(kTempSuffix);
  // Left by a process that was killed mid-transfer; the download would
  // otherwise start on it.
  if (LocalFileExists(ports_.files, temporary)) {
    ports_.files.RemoveFile(temporary);
  }
  fetchBusy_ = true;
  purpose_ = request.purpose;
  const std::string conditional = request.purpose == FetchPurpose::Application
                                      ? validators_.RequestLines(request.target, request.url)
                                      : std::string();
  conditional_ = !conditional.empty();
  transfer_.Url(request.url);
  transfer_.LocalFile(temporary);
  {
    const RequestHeadersScope scope(transfer_, conditional);
    transfer_.StartDownload();
  }
  // Whatever the outcome, the temporary file has served: a complete one was
  // moved into place or dropped, and what a failed or cancelled download left
  // would only take room. Its file is closed by now; the target was never
  // touched.
  if (LocalFileExists(ports_.files, temporary)) {
    ports_.files.RemoveFile(temporary);
  }
  // Whatever the outcome's handler found, the next fetch must not be held.
  fetchBusy_ = false;
  --depth_;
}

void FileFetch::DownloadComplete() {
  const FetchPurpose purpose = purpose_;
  const std::string temporary = transfer_.LocalFile();
  // (A download under way when the program ends is cancelled, never
  // complete: no check of the end is needed here.)
  if (temporary.size() <= kTempSuffix.size() || !EndsWithIgnoringCase(temporary, kTempSuffix)) {
    fetchBusy_ = false;
    return;
  }
  const std::string target = temporary.substr(0, temporary.size() - kTempSuffix.size());
  if (transfer_.NotModified()) {
    // Only an answer to our question keeps the file: a 304 that nobody asked
    // for brought nothing.
    if (!conditional_) {
      LogInfo("Fetch failed: " + FileNameOf(target) + ": not modified, though not asked so");
      fetchBusy_ = false;
      return;
    }
    LogInfo("Download unchanged: " + FileNameOf(target));
  } else if (!LocalFileExists(ports_.files, temporary)) {
    fetchBusy_ = false;
    return;
  } else {
    Arrived(temporary, target);
  }
  if (!LocalFileExists(ports_.files, target)) {
    // Nothing arrived and nothing was there: nothing to play, open or read.
    fetchBusy_ = false;
    return;
  }
  UseFetchedFile(target, purpose);
}

void FileFetch::Arrived(const std::string& temporary, const std::string& target) {
  // When the target cannot be replaced (held open by another program), the
  // new file is dropped and the one in place is used.
  const Replacement replaced = ReplaceFileWith(ports_.files, temporary, target);
  if (!replaced.Done()) {
    LogInfo("Download refused: " + FileNameOf(target) + ": " + RefusalText(replaced));
    return;
  }
  LogInfo("Download written: " + FileNameOf(target));
  if (purpose_ == FetchPurpose::Application) {
    validators_.Written(target, transfer_.Url(), transfer_.ResponseHeaders());
    validators_.Save();
  }
}

void FileFetch::DownloadError(std::string& description) {
  const std::string temporary = transfer_.LocalFile();
  if (description == kCouldNotWriteLocalFile) {
    // Asked first: removing the part written so far may fail too.
    const Replacement failed{Replacement::Outcome::NotWritten, ports_.files.LastFailure()};
    LogInfo("Download refused: " + FileNameOf(temporary) + ": " + RefusalText(failed));
  } else {
    LogInfo("Fetch failed: " + FileNameOf(temporary) + ": " + description);
  }
  // At once, not at the next fetch of the same file: on a full disk the
  // part written would keep every other file, the action list included,
  // from being written. (Run removes it as well, should the transfer still
  // hold it open now.)
  if (LocalFileExists(ports_.files, temporary)) {
    ports_.files.RemoveFile(temporary);
  }
  fetchBusy_ = false;
}

void FileFetch::DownloadCancelled(std::int32_t&) {
  fetchBusy_ = false;
}

void FileFetch::UseFetchedFile(const std::string& target, FetchPurpose purpose) {
  // Cleared before the file is used, so an action list can start its own
  // fetches at once.
  fetchBusy_ = false;
  switch (purpose) {
    case FetchPurpose::ActionList:
      use_.ProcessActionList();
      break;
    case FetchPurpose::Sound:
      use_.PlayWave(target);
      break;
    case FetchPurpose::Application:
      LaunchFile(ports_.shellOpen, target, state_.appParam);
      break;
  }
}

}  // namespace hta
