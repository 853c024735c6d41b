#include "transfer/internet_file.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <span>

#include "ports/log.h"
#include "transfer/response_headers.h"

// The transfers: syncGET and the downloads, from start to their one end.
namespace hta {
namespace {

// The running total grows by each block; a handler may have set it anywhere,
// so the sum is kept from overflowing rather than trusted to stay small.
std::int32_t AddBlock(std::int32_t total, std::uint32_t bytes) {
  const std::int64_t sum = static_cast<std::int64_t>(total) + bytes;
  return sum > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                        : static_cast<std::int32_t>(sum);
}

}  // namespace

class InternetFile::TransferScope {
 public:
  TransferScope(InternetFile& owner, OpenedAddress& opened, const Session& session)
      : owner_(owner), opened_(opened), session_(session) {}
  ~TransferScope() {
    opened_.Close();
    owner_.CloseSession(session_);
    file.reset();
  }
  TransferScope(const TransferScope&) = delete;
  TransferScope& operator=(const TransferScope&) = delete;

  // The download's LocalFile, once opened.
  std::unique_ptr<FileWriter> file;

 private:
  InternetFile& owner_;
  OpenedAddress& opened_;
  const Session& session_;
};

InternetFile::Session InternetFile::BeginTransfer() {
  cancelRequested_ = false;
  responseStatus_.reset();
  responseHeaders_.clear();
  notModified_ = false;
  DoEvents();
  if (!session_) {
    OpenSession();
  }
  const Session session = session_;
  DoEvents();
  closeSessionAfterInfo_ = false;
  if (!infoRequested_) {
    RequestInformation();
  }
  closeSessionAfterInfo_ = true;
  DoEvents();
  return session;
}

std::string InternetFile::syncGET(std::string sUrl) {
  const std::uint64_t started = clock_.MonotonicMicroseconds();
  url_ = sUrl;
  const Session session = BeginTransfer();
  OpenedAddress opened = OpenAddress(session, sUrl, 0);
  if (!opened.stream) {
    return std::string();
  }
  const TransferScope scope(*this, opened, session);
  std::string text = ReadText(opened);
  LogTransferTime(sUrl, std::to_string(text.size()) + " bytes", started);
  return text;
}

std::string InternetFile::ReadText(OpenedAddress& opened) {
  std::string result;
  std::array<std::byte, kBlockSize> buffer;
  for (;;) {
    DoEvents();
    // The owner is ending: nobody will use the rest of the body.
    if (cancelRequested_) {
      return std::string();
    }
    std::uint32_t bytesRead = 0;
    bool ok = ReadArrived(opened, buffer, bytesRead);
    // The body ended early: the connection broke, whatever the read said.
    if (ok && bytesRead == 0 && opened.contentLength && result.size() < *opened.contentLength) {
      ok = false;
    }
    // A body past the limit is refused whole, never used in part.
    if (ok && bytesRead > limits_.textBytes - result.size()) {
      ok = false;
    }
    if (ok && bytesRead > 0) {
      try {
        // One character per byte: the text is the body's bytes unchanged.
        result.append(reinterpret_cast<const char*>(buffer.data()), bytesRead);
      } catch (const std::bad_alloc&) {
        ok = false;
      }
    }
    if (!ok) {
      LogInfo("Transfer failed: " + LogAddress(url_) + ": read failed");
      DoEvents();
      return std::string();
    }
    if (bytesRead == 0) {
      return result;
    }
  }
}

void InternetFile::LogTransferTime(const std::string& address, const std::string& what,
                                   std::uint64_t started) {
  LogDebug("Transfer " + LogAddress(address) + ": " + what + " in " +
           std::to_string((clock_.MonotonicMicroseconds() - started) / 1000) + " ms");
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
  const Session session = BeginTransfer();
  // Taken once, so the range asked for and the bytes skipped agree even if a
  // handler starts another download meanwhile.
  const std::int32_t resumeFrom = resumePosition_;
  OpenedAddress opened = OpenAddress(session, url_, resumeFrom);
  if (!opened.stream) {
    RaiseError(kCouldNotFindUrl);
    return;
  }
  if (opened.status == 304u) {
    opened.Close();
    CloseSession(session);
    notModified_ = true;
    std::int32_t total = 0;
    RaiseProgress(total);
    RaiseComplete();
    return;
  }
  DownloadEnd end;
  {
    TransferScope scope(*this, opened, session);
    end = Receive(scope, opened, resumeFrom);
  }
  // What there is of a file past the limit is of no use, and could fill the
  // disk on the next attempt.
  if (end.removeFile) {
    files_.RemoveFile(*end.removeFile);
  }
  if (!end.error.empty()) {
    RaiseError(end.error);
  } else if (end.complete) {
    LogTransferTime(url_, "downloaded", started);
    RaiseComplete();
  }
}

InternetFile::DownloadEnd InternetFile::Receive(TransferScope& scope, OpenedAddress& opened,
                                                std::int32_t resumeFrom) {
  std::int32_t total = 0;
  // Bytes taken from the stream, skipped ones included: what Content-Length
  // counts. Kept apart from the total, which handlers may change.
  std::uint64_t received = 0;
  if (resumeFrom > 0) {
    DoEvents();
    if (!Position(opened, resumeFrom, received)) {
      RaiseError(kErrorSettingPosition);
      return DownloadEnd{};
    }
    total = resumeFrom;
  }
  // Emptied for a download from byte 0, so no stale tail of a longer file
  // survives; appended to otherwise.
  const std::string path = localFile_;
  scope.file = files_.OpenForWrite(path, resumeFrom == 0);
  if (!scope.file) {
    return DownloadEnd{.complete = false, .error = kCouldNotWriteLocalFile, .removeFile = std::nullopt};
  }
  return ReceiveBlocks(scope, opened, path, total, received);
}

bool InternetFile::Position(OpenedAddress& opened, std::int32_t resumeFrom, std::uint64_t& received) {
  if (opened.nothingLeft) {
    return true;
  }
  if (opened.status == kHttpPartialContent) {
    // The part must start where the file ends, or it lands in the wrong
    // place.
    const auto range = ContentRange(opened.stream.get());
    const auto parsed = range ? ParseContentRange(*range) : std::nullopt;
    return parsed && parsed->first == resumeFrom;
  }
  // The server sent the whole resource (it ignores ranges, or the stream has
  // no status): skip what the file already holds.
  const bool skipped = SkipBytes(opened, resumeFrom);
  received = static_cast<std::uint64_t>(resumeFrom);
  return skipped;
}

InternetFile::DownloadEnd InternetFile::ReceiveBlocks(TransferScope& scope, OpenedAddress& opened,
                                                      const std::string& path, std::int32_t total,
                                                      std::uint64_t received) {
  std::uint64_t fileLength = static_cast<std::uint64_t>(total);
  std::array<std::byte, kBlockSize> buffer;
  for (;;) {
    DoEvents();
    std::uint32_t bytesRead = 0;
    bool ok = opened.nothingLeft || ReadArrived(opened, buffer, bytesRead);
    if (ok && bytesRead == 0 && opened.contentLength && received < *opened.contentLength) {
      ok = false;
    }
    const bool tooLong = bytesRead > limits_.fileBytes - std::min(limits_.fileBytes, fileLength);
    if (!ok || tooLong) {
      DoEvents();
      return DownloadEnd{.complete = false,
                         .error = kCouldNotReadUrl,
                         .removeFile = tooLong ? std::optional(path) : std::nullopt};
    }
    DoEvents();
    total = AddBlock(total, bytesRead);
    received += bytesRead;
    fileLength += bytesRead;
    const bool last = bytesRead == 0;
    if (!last && !scope.file->Write(std::span(buffer.data(), bytesRead))) {
      return DownloadEnd{.complete = false, .error = kCouldNotWriteLocalFile, .removeFile = std::nullopt};
    }
    RaiseProgress(total);
    DoEvents();
    if (cancelRequested_) {
      DoEvents();
      // Told before the stream, the session and the file are closed.
      RaiseCancelled(total);
      return DownloadEnd{};
    }
    DoEvents();
    if (last) {
      return DownloadEnd{.complete = true, .error = {}, .removeFile = std::nullopt};
    }
  }
}

}  // namespace hta
