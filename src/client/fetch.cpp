#include "client/fetch.h"

#include <utility>

#include "client/app_menu.h"
#include "client/replace_file.h"
#include "common/ascii.h"

namespace hta {

bool LocalFileExists(FileSystem& files, const std::string& path) {
  const FileState state = files.StateOf(path);
  return state == FileState::Present || state == FileState::Locked;
}

FileFetch::FileFetch(FetchPorts ports, LauncherState& state, InternetFile& internetFile1, FetchedFileUse& use,
                     const bool& ended, const bool& loginRunning, std::function<void()> afterFetches)
    : ports_(ports),
      state_(state),
      internetFile1_(internetFile1),
      use_(use),
      ended_(ended),
      loginRunning_(loginRunning),
      afterFetches_(std::move(afterFetches)) {}

void FileFetch::FetchFile(const std::string& url, const std::string& target, FetchPurpose purpose) {
  if (ended_) {
    return;
  }
  Request request{url, target, purpose};
  // Busy means a transfer is on the stack below this call, waiting for it to
  // return; a login holds InternetFile1 the same way.
  if (state_.FetchBusy || loginRunning_) {
    Queue(std::move(request));
    return;
  }
  Run(request);
  RunQueued();
}

void FileFetch::RunQueued() {
  while (!queue_.empty() && depth_ == 0 && !state_.FetchBusy && !loginRunning_ && !ended_) {
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
  // Left by a cancelled transfer; the download would otherwise start on it.
  if (LocalFileExists(ports_.files, temporary)) {
    ports_.files.RemoveFile(temporary);
  }
  state_.FetchBusy = true;
  purpose_ = request.purpose;
  internetFile1_.Url(request.url);
  internetFile1_.LocalFile(temporary);
  internetFile1_.StartDownload();
  // The program ended during the download, which stopped or was not used:
  // its file is closed now and goes. The target was never touched.
  if (ended_ && LocalFileExists(ports_.files, temporary)) {
    ports_.files.RemoveFile(temporary);
  }
  // Whatever the outcome's handler found, the next fetch must not be held.
  state_.FetchBusy = false;
  --depth_;
}

void FileFetch::DownloadComplete() {
  const FetchPurpose purpose = purpose_;
  const std::string temporary = internetFile1_.LocalFile();
  if (ended_ || !LocalFileExists(ports_.files, temporary) || temporary.size() <= kTempSuffix.size() ||
      !EndsWithIgnoringCase(temporary, kTempSuffix)) {
    state_.FetchBusy = false;
    return;
  }
  const std::string target = temporary.substr(0, temporary.size() - kTempSuffix.size());
  // When the target cannot be replaced, the one in place is used.
  ReplaceFileWith(ports_.files, temporary, target);
  if (!LocalFileExists(ports_.files, target)) {
    // Nothing arrived and nothing was there: nothing to play, open or read.
    state_.FetchBusy = false;
    return;
  }
  UseFetchedFile(target, purpose);
}

void FileFetch::DownloadError(std::string&) {
  state_.FetchBusy = false;
}

void FileFetch::DownloadCancelled(std::int32_t&) {
  state_.FetchBusy = false;
}

void FileFetch::UseFetchedFile(const std::string& target, FetchPurpose purpose) {
  // Cleared before the file is used, so an action list can start its own
  // fetches at once.
  state_.FetchBusy = false;
  switch (purpose) {
    case FetchPurpose::ActionList:
      use_.ProcessActionList();
      break;
    case FetchPurpose::Sound:
      use_.PlayWave(target);
      break;
    case FetchPurpose::Application:
      LaunchFile(ports_.shell, target, state_.AppParam);
      break;
  }
}

}  // namespace hta
