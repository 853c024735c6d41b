#pragma once

#include <string>
#include <utility>

#include "transfer/internet_file.h"

namespace hta {

// Extra request header lines for the transfers started while it lives, and
// none again after it, whichever way the caller leaves: lines meant for one
// file must never ride along with the next request.
class RequestHeadersScope {
 public:
  RequestHeadersScope(InternetFile& internetFile, std::string lines) : internetFile_(internetFile) {
    internetFile_.RequestHeaders(std::move(lines));
  }
  ~RequestHeadersScope() { internetFile_.RequestHeaders(std::string()); }
  RequestHeadersScope(const RequestHeadersScope&) = delete;
  RequestHeadersScope& operator=(const RequestHeadersScope&) = delete;

 private:
  InternetFile& internetFile_;
};

}  // namespace hta
