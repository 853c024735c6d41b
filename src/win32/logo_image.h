#pragma once

#include <cstdint>
#include <vector>

#include "win32/win32_headers.h"

namespace hta::win32 {

// The logo of the main window: a 32-bit bitmap resource with
// premultiplied alpha, scaled to the size the window's DPI asks for and laid
// over the window's background colour. GDI's own stretching is nearest
// neighbour (or halftone without alpha), so the scaling is done here with an
// area-averaging filter; the result is painted with SetDIBitsToDevice and
// needs no GDI objects at all.
class LogoImage {
 public:
  // Reads the bitmap resource `id`; false when it is missing or not a 32-bit
  // uncompressed bitmap. The resource's memory stays valid for the life of
  // the module, so only a pointer is kept.
  bool Load(HINSTANCE instance, int id);

  // Paints the logo `size` x `size` pixels at (left, top) over `background`.
  void Draw(HDC dc, int left, int top, int size, COLORREF background);

 private:
  const std::uint8_t* pixels_ = nullptr;  // BGRA, rows bottom-up or top-down
  int width_ = 0;
  int height_ = 0;
  bool bottomUp_ = true;

  // The last scaled copy, premultiplied BGRA, top-down.
  std::vector<std::uint8_t> scaled_;
  int scaledSize_ = 0;
};

// Area-averaging resampling of premultiplied BGRA pixels (top-down rows).
// Exposed for the tests.
std::vector<std::uint8_t> ScaleBgra(const std::vector<std::uint8_t>& source, int sourceWidth,
                                    int sourceHeight, int width, int height);

}  // namespace hta::win32
