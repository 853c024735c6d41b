#pragma once

#include <utility>

#include "ports/http.h"

namespace hta {

// Owns one WinINet handle and closes it through the port exactly once: at
// Close(), or at destruction when Close() was never reached. Closing sets the
// handle to null, so a closed owner is indistinguishable from an empty one
// and can never hand out a closed handle. Move-only.
//
// The null handle is never passed to InternetCloseHandle: there is nothing
// to close, and the port would only report failure.
//
// The port must outlive every owner that holds a handle.
class OwnedInternetHandle {
 public:
  OwnedInternetHandle() = default;
  OwnedInternetHandle(HttpCalls& http, InternetHandle handle) : http_(&http), handle_(handle) {}
  ~OwnedInternetHandle() { Close(); }

  OwnedInternetHandle(const OwnedInternetHandle&) = delete;
  OwnedInternetHandle& operator=(const OwnedInternetHandle&) = delete;
  OwnedInternetHandle(OwnedInternetHandle&& other) noexcept
      : http_(other.http_), handle_(std::exchange(other.handle_, InternetHandle{})) {}
  OwnedInternetHandle& operator=(OwnedInternetHandle&& other) noexcept {
    if (this != &other) {
      Close();
      http_ = other.http_;
      handle_ = std::exchange(other.handle_, InternetHandle{});
    }
    return *this;
  }

  // The handle; null when there is none or it has been closed.
  InternetHandle get() const { return handle_; }
  explicit operator bool() const { return static_cast<bool>(handle_); }

  // Closes the handle now (the result is of no use to anyone and is
  // dropped). Harmless when already closed or empty.
  void Close() {
    const InternetHandle handle = std::exchange(handle_, InternetHandle{});
    if (handle && http_ != nullptr) {
      http_->CloseHandle(handle);
    }
  }

 private:
  HttpCalls* http_ = nullptr;
  InternetHandle handle_;
};

}  // namespace hta
