#include "transfer/internet_file.h"

#include <algorithm>
#include <array>

#include "common/ascii.h"
#include "transfer/response_headers.h"

// The header request: once in the control's life, before its first transfer.
namespace hta {

void InternetFile::RequestInformation() {
  infoRequested_ = true;
  // Where HTTPS is required, an address that is not https is not asked.
  const std::optional<HttpAddress> address = SendableAddress(url_);

  DoEvents();
  if (!session_) {
    OpenSession();
  }
  DoEvents();

  // The password is taken only together with a user name.
  const bool withUser = !siteUser_.empty();
  const std::string user = siteUser_;
  const std::string password = sitePassword_;

  SentRequest sent;
  const Session session = session_;
  if (address) {
    sent = Send(session, *address, "HEAD", "HTTP/1.0", kInternetFlagReload, std::string(),
                withUser ? user.c_str() : nullptr, withUser ? password.c_str() : nullptr);
  }
  if (sent.request) {
    ReadInformation(sent.request.get());
  }

  DoEvents();
  sent.Close();
  if (closeSessionAfterInfo_ && session_) {
    session_->Close();
    session_.reset();
  }
}

void InternetFile::ReadInformation(InternetHandle request) {
  std::array<char, kHeaderBufferSize> buffer;
  buffer.fill(' ');
  std::uint32_t length = kHeaderBufferSize;
  std::uint32_t index = 0;
  // A failed send shows up below as a failed query, or as a block with no
  // status line: Wine's WinINet answers the query of a request that never
  // got a response with a bare CR LF.
  DoEvents();
  // Where HTTPS is required, a response that did not come over TLS is none.
  const bool usable = https_.Accepts(http_, request);
  const bool answered = usable && http_.QueryInfo(request, kHttpQueryRawHeadersCrlf, buffer, length, index);
  const std::string_view headers(buffer.data(), std::min<std::size_t>(length, buffer.size()));
  if (answered && StartsWithStatusLine(headers)) {
    ReadHeaderBlock(headers);
    return;
  }
  DoEvents();
  length = kHeaderBufferSize;
  index = 0;
  // Whatever the query leaves in the buffer is judged, success or not: a
  // failed one leaves the spaces, which are not "200".
  if (usable) {
    http_.QueryInfo(request, kHttpQueryStatusCode, buffer, length, index);
  }
  fileExists_ = TrimAtNul(std::string_view(buffer.data(), buffer.size())) == "200";
  lastModified_ = std::string(kNotAvailable);
  fileSize_ = -1;
}

void InternetFile::ReadHeaderBlock(std::string_view headers) {
  const std::string lowerHeaders = LowerAscii(headers);
  const auto modified = RawHeaderValue(headers, lowerHeaders, "last-modified: ");
  lastModified_ = modified ? std::string(*modified) : std::string(kNotAvailable);
  DoEvents();
  const auto size = RawHeaderValue(headers, lowerHeaders, "content-length: ");
  fileSize_ = size ? ParseFileSize(*size) : -1;
  DoEvents();
  fileExists_ = headers.find("HTTP/1.1 404 File Not Found") == std::string_view::npos;
}

}  // namespace hta
