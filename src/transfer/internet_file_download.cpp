#include "transfer/internet_file.h"

#include <algorithm>
#include <limits>
#include <new>
#include <span>

#include "ports/log.h"
#include "transfer/response_headers.h"

// The transfers: syncGET and the downloads, from start to their one end.
namespace hta {
namespace {

// The running total grows by each batch; a handler may have set it
// anywhere, so the sum is kept from overflowing rather than trusted to stay
// small.
std::int32_t AddBytes(std::int32_t total, std::size_t bytes) {
  const std::int64_t sum = static_cast<std::int64_t>(total) + static_cast<std::int64_t>(bytes);
  return sum > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                        : static_cast<std::int32_t>(sum);
}

std::span<const std::byte> AsBytes(const std::string& text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

}  // namespace

void InternetFile::BeginTransfer() {
  cancelRequested_ = false;
  if (!infoRequested_) {
    RequestInformation();
  }
}

std::string InternetFile::syncGET(std::string url) {
  const std::uint64_t started = clock_.MonotonicMicroseconds();
  url_ = url;
  BeginTransfer();
  bool interrupted = false;
  Opened opened = OpenAddress(url, 0, interrupted);
  if (!opened.exchange || opened.nothingLeft) {
    return std::string();
  }
  std::string text = ReadText(opened);
  LogTransferTime(url, std::to_string(text.size()) + " bytes", started);
  return text;
}

std::string InternetFile::ReadText(Opened& opened) {
  std::string result;
  std::string bytes;
  for (;;) {
    const Read read = ReadBody(opened, bytes);
    // The owner is ending: nobody will use the rest of the body.
    if (read == Read::Interrupted) {
      return std::string();
    }
    bool ok = read != Read::Failed;
    // The body ended early: the connection broke, whatever the read said.
    const auto& length = opened.response.contentLength;
    if (read == Read::End && length && result.size() < *length) {
      ok = false;
    }
    // A body past the limit is refused whole, never used in part.
    if (ok && bytes.size() > limits_.textBytes - result.size()) {
      ok = false;
    }
    if (ok && !bytes.empty()) {
      try {
        result.append(bytes);
      } catch (const std::bad_alloc&) {
        ok = false;
      }
    }
    if (!ok) {
      LogInfo("Transfer failed: " + LogAddress(url_) + ": read failed");
      return std::string();
    }
    if (read == Read::End) {
      return result;
    }
  }
}

void InternetFile::StartDownload() {
  resumePosition_ = 0;
  Download();
}

void InternetFile::ResumeDownload() {
  const auto length = files_.FileLength(localFile_);
  if (length && *length > std::numeric_limits<std::int32_t>::max()) {
    // Starting afresh would throw away what is there; going on is beyond the
    // 32-bit positions of the events.
    RaiseError(kErrorSettingPosition);
    return;
  }
  resumePosition_ = length ? static_cast<std::int32_t>(*length) : 0;
  Download();
}

void InternetFile::Download() {
  const std::uint64_t started = clock_.MonotonicMicroseconds();
  notModified_ = false;
  BeginTransfer();
  // Taken once, so the range asked for and the bytes skipped agree even if a
  // handler starts another download meanwhile.
  const std::int32_t resumeFrom = resumePosition_;
  bool interrupted = false;
  Opened opened = OpenAddress(url_, resumeFrom, interrupted);
  if (interrupted) {
    std::int32_t total = resumeFrom;
    RaiseCancelled(total);
    return;
  }
  if (!opened.exchange) {
    RaiseError(kCouldNotFindUrl);
    return;
  }
  Receive(opened, resumeFrom, started);
}

void InternetFile::Receive(Opened& opened, std::int32_t resumeFrom, std::uint64_t started) {
  std::int32_t total = 0;
  // Bytes taken from the stream, skipped ones included: what Content-Length
  // counts. Kept apart from the total, which handlers may change.
  std::uint64_t received = 0;
  std::string first;
  // Unchanged on the server: the file in place is the resource, and nothing
  // is written.
  const bool notModified = opened.response.status == kHttpNotModified;
  if (resumeFrom > 0 && !opened.nothingLeft && !notModified) {
    Read read = Read::Failed;
    if (opened.response.status == kHttpPartialContent) {
      // The part must start where the file ends, or it lands in the wrong
      // place.
      const auto& range = opened.response.contentRange;
      const auto parsed = range ? ParseContentRange(*range) : std::nullopt;
      read = parsed && parsed->first == resumeFrom ? Read::Bytes : Read::Failed;
    } else {
      // The server sent the whole resource (it ignores ranges, or the
      // response has no status): skip what the file already holds.
      read = SkipBytes(opened, resumeFrom, first);
      received = static_cast<std::uint64_t>(resumeFrom);
    }
    if (read == Read::Interrupted) {
      std::int32_t position = resumeFrom;
      RaiseCancelled(position);
      return;
    }
    if (read != Read::Bytes) {
      RaiseError(kErrorSettingPosition);
      return;
    }
  }
  if (resumeFrom > 0) {
    total = resumeFrom;
  }
  std::unique_ptr<FileWriter> file;
  if (!notModified) {
    // Emptied for a download from byte 0, so no stale tail of a longer file
    // survives; appended to otherwise.
    file = files_.OpenForWrite(localFile_, resumeFrom == 0);
    if (!file) {
      RaiseError(kCouldNotWriteLocalFile);
      return;
    }
  }
  notModified_ = notModified;
  ReceiveBlocks(opened, std::move(file), std::move(first), total, received, started);
}

void InternetFile::ReceiveBlocks(Opened& opened, std::unique_ptr<FileWriter> file, std::string first,
                                 std::int32_t total, std::uint64_t received, std::uint64_t started) {
  const std::string path = localFile_;
  std::uint64_t fileLength = static_cast<std::uint64_t>(total);
  std::string bytes = std::move(first);
  // What came with the skipped part is the first batch; an empty one is none.
  Read read = Read::Bytes;
  bool haveBatch = !bytes.empty();
  for (;;) {
    if (!haveBatch) {
      read = opened.nothingLeft || notModified_ ? Read::End : ReadBody(opened, bytes);
    }
    haveBatch = false;
    if (read == Read::Interrupted) {
      RaiseCancelled(total);
      return;
    }
    const auto& length = opened.response.contentLength;
    const bool shortBody =
        read == Read::End && length && received < *length && !opened.nothingLeft && !notModified_;
    const bool tooLong = bytes.size() > limits_.fileBytes - std::min(limits_.fileBytes, fileLength);
    if (read == Read::Failed || shortBody || tooLong) {
      file.reset();
      // What there is of a file past the limit is of no use, and could fill
      // the disk on the next attempt.
      if (tooLong) {
        files_.RemoveFile(path);
      }
      RaiseError(kCouldNotReadUrl);
      return;
    }
    if (!bytes.empty() && !file->Write(AsBytes(bytes))) {
      file.reset();
      RaiseError(kCouldNotWriteLocalFile);
      return;
    }
    total = AddBytes(total, bytes.size());
    received += bytes.size();
    fileLength += bytes.size();
    RaiseProgress(total);
    if (cancelRequested_) {
      // Told before the file is closed.
      RaiseCancelled(total);
      return;
    }
    if (read == Read::End) {
      file.reset();
      LogTransferTime(url_, notModified_ ? "not modified" : "downloaded", started);
      RaiseComplete();
      return;
    }
  }
}

}  // namespace hta
