#pragma once

#include <utility>

#include "win32/win32_headers.h"

namespace hta::win32 {

// Owns one kernel handle (file, mutex, event, process...) and closes it with
// CloseHandle exactly once. Move-only.
//
// Kernel calls report failure in two ways: CreateFileA with
// INVALID_HANDLE_VALUE, most others with null. Both count as "no handle"
// here, so the result of either kind of call can be stored and tested the
// same way, and neither failure value is ever passed to CloseHandle.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(Normalised(handle)) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }

  // The handle, or null when there is none (never INVALID_HANDLE_VALUE).
  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  // Gives the handle up without closing it.
  HANDLE release() { return std::exchange(handle_, nullptr); }

  // Closes the current handle, if any, and takes `handle`.
  void reset(HANDLE handle = nullptr) {
    HANDLE old = std::exchange(handle_, Normalised(handle));
    if (old != nullptr) {
      CloseHandle(old);
    }
  }

 private:
  static HANDLE Normalised(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }

  HANDLE handle_ = nullptr;
};

}  // namespace hta::win32
