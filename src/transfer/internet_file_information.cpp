#include "transfer/internet_file.h"

#include "common/ascii.h"
#include "transfer/response_headers.h"

// The header request: once in the control's life, before its first transfer.
namespace hta {

void InternetFile::RequestInformation() {
  infoRequested_ = true;
  std::optional<HttpRequest> request = MakeRequest(url_, "HEAD");
  if (!request) {
    return;
  }
  request->version = "HTTP/1.0";
  // The password is taken only together with a user name.
  if (!siteUser_.empty()) {
    request->siteUser = siteUser_;
    request->sitePassword = sitePassword_;
  }
  const std::unique_ptr<HttpExchange> exchange = http_.Start(*request);
  const HttpEvent event = Next(*exchange);
  if (event.kind == HttpEvent::Kind::Interrupted) {
    return;
  }
  // Where HTTPS is required, a response that did not come over TLS is none.
  const bool usable = event.kind == HttpEvent::Kind::Response && https_.Accepts(event.response.secure);
  ReadInformation(usable ? event.response : HttpResponse{});
}

void InternetFile::ReadInformation(const HttpResponse& response) {
  if (StartsWithStatusLine(response.rawHeaders)) {
    ReadHeaderBlock(response.rawHeaders);
    return;
  }
  fileExists_ = response.status == 200u;
  lastModified_ = std::string(kNotAvailable);
  fileSize_ = -1;
}

void InternetFile::ReadHeaderBlock(std::string_view headers) {
  const std::string lowerHeaders = LowerAscii(headers);
  const auto modified = RawHeaderValue(headers, lowerHeaders, "last-modified: ");
  lastModified_ = modified ? std::string(*modified) : std::string(kNotAvailable);
  const auto size = RawHeaderValue(headers, lowerHeaders, "content-length: ");
  fileSize_ = size ? ParseFileSize(*size) : -1;
  fileExists_ = headers.find("HTTP/1.1 404 File Not Found") == std::string_view::npos;
}

}  // namespace hta
