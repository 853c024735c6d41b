#pragma once

#include <utility>

#include "win32/win32_headers.h"

namespace hta::win32 {

// Owns one handle (window, menu, icon, GDI object, module, registry key)
// and closes it with `Close` exactly once. Move-only. `Close` is a function
// object type with operator()(Handle). Kernel handles have their own type,
// UniqueHandle in unique_handle.h, because they have two failure values.
template <typename Handle, typename Close>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { reset(); }

  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset(std::exchange(other.handle_, nullptr));
    }
    return *this;
  }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  // Gives the handle up without closing it (for a window that Windows has
  // already destroyed, for example).
  Handle release() { return std::exchange(handle_, nullptr); }

  // For a call's out-parameter (RegOpenKeyExA and the like): closes the
  // handle held now, if any.
  Handle* receive() {
    reset();
    return &handle_;
  }

  void reset(Handle handle = nullptr) {
    Handle old = std::exchange(handle_, handle);
    if (old != nullptr) {
      Close{}(old);
    }
  }

 private:
  Handle handle_ = nullptr;
};

struct CloseWindow {
  void operator()(HWND window) const { DestroyWindow(window); }
};
struct CloseMenu {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
struct CloseIcon {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct CloseGdiObject {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};

struct CloseModule {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};

// A directory search of FindFirstFileExW; the call's INVALID_HANDLE_VALUE
// is taken as no search.
struct CloseFind {
  void operator()(HANDLE search) const { FindClose(search); }
};
using OwnedFind = Owned<HANDLE, CloseFind>;
inline OwnedFind TakeSearch(HANDLE search) {
  return OwnedFind(search == INVALID_HANDLE_VALUE ? nullptr : search);
}

using OwnedWindow = Owned<HWND, CloseWindow>;
using OwnedMenu = Owned<HMENU, CloseMenu>;
// Only for icons this program created or loaded without LR_SHARED: shared
// icons belong to the system and must never be destroyed.
using OwnedIcon = Owned<HICON, CloseIcon>;
using OwnedFont = Owned<HFONT, CloseGdiObject>;
using OwnedBitmap = Owned<HBITMAP, CloseGdiObject>;
using OwnedBrush = Owned<HBRUSH, CloseGdiObject>;
using OwnedModule = Owned<HMODULE, CloseModule>;

// A program or DLL loaded as data only: its resources can be read, none of
// its code runs (no DllMain, no imports resolved).
inline OwnedModule LoadDataModule(const char* path) {
  return OwnedModule(
      LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

// A device context borrowed with GetDC, given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) {
      ReleaseDC(window_, dc_);
    }
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// A BeginPaint/EndPaint pair, for WM_PAINT.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window_, &paint_); }
  ~PaintScope() { EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;

  HDC get() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_ = nullptr;
};

// Selects a GDI object into a device context and selects the previous one
// back when it goes out of scope; the object itself stays owned elsewhere.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
  ~ScopedSelect() {
    if (previous_ != nullptr) {
      SelectObject(dc_, previous_);
    }
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A registered window class, unregistered again when the owner goes away so
// that a second window object in the same process (a test, say) can register
// it afresh.
class RegisteredClass {
 public:
  RegisteredClass() = default;
  RegisteredClass(HINSTANCE instance, ATOM atom) : instance_(instance), atom_(atom) {}
  ~RegisteredClass() { reset(); }
  RegisteredClass(const RegisteredClass&) = delete;
  RegisteredClass& operator=(const RegisteredClass&) = delete;
  RegisteredClass(RegisteredClass&& other) noexcept
      : instance_(other.instance_), atom_(std::exchange(other.atom_, ATOM{0})) {}
  RegisteredClass& operator=(RegisteredClass&& other) noexcept {
    if (this != &other) {
      reset();
      instance_ = other.instance_;
      atom_ = std::exchange(other.atom_, ATOM{0});
    }
    return *this;
  }

  ATOM atom() const { return atom_; }
  explicit operator bool() const { return atom_ != 0; }

  void reset() {
    if (atom_ != 0) {
      UnregisterClassA(MAKEINTATOM(std::exchange(atom_, ATOM{0})), instance_);
    }
  }

 private:
  HINSTANCE instance_ = nullptr;
  ATOM atom_ = 0;
};

}  // namespace hta::win32
