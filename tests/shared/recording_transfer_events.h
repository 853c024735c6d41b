#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transfer/internet_file.h"

namespace hta::testing {

// Every event of a transfer control as a line ("progress 2048", "complete",
// "error [text]", "cancelled 2048"), and a hook that runs inside each
// event's handler.
class RecordingTransferEvents final : public InternetFileEvents {
 public:
  std::vector<std::string> events;
  std::function<void(const std::string&)> onEvent;

  void DownloadComplete() override { Note("complete"); }
  void DownloadProgress(std::int32_t& bytesRead) override { Note("progress " + std::to_string(bytesRead)); }
  void DownloadError(std::string& description) override { Note("error [" + description + "]"); }
  void DownloadCancelled(std::int32_t& position) override { Note("cancelled " + std::to_string(position)); }

  // The last event, or "(none)".
  std::string Last() const { return events.empty() ? "(none)" : events.back(); }

 private:
  void Note(const std::string& event) {
    events.push_back(event);
    if (onEvent) {
      onEvent(event);
    }
  }
};

}  // namespace hta::testing
