#include "win32/logo_image.h"

#include <algorithm>
#include <cmath>

namespace hta::win32 {

std::vector<std::uint8_t> ScaleBgra(const std::vector<std::uint8_t>& source, int sourceWidth,
                                    int sourceHeight, int width, int height) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 4);
  if (sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0) {
    return out;
  }
  const double stepX = static_cast<double>(sourceWidth) / width;
  const double stepY = static_cast<double>(sourceHeight) / height;
  for (int y = 0; y < height; ++y) {
    const double y0 = y * stepY;
    const double y1 = y0 + stepY;
    for (int x = 0; x < width; ++x) {
      const double x0 = x * stepX;
      const double x1 = x0 + stepX;
      double sum[4] = {0, 0, 0, 0};
      double area = 0;
      // Every source pixel the target pixel covers, weighted by how much of
      // it is covered. Premultiplied colour averages correctly at the
      // transparent edges; straight colour would darken them.
      for (int sy = static_cast<int>(y0); sy < sourceHeight && sy < y1; ++sy) {
        const double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
        for (int sx = static_cast<int>(x0); sx < sourceWidth && sx < x1; ++sx) {
          const double w = wy * (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0));
          const std::uint8_t* p = &source[(static_cast<std::size_t>(sy) * sourceWidth + sx) * 4];
          for (int c = 0; c < 4; ++c) {
            sum[c] += w * p[c];
          }
          area += w;
        }
      }
      std::uint8_t* q = &out[(static_cast<std::size_t>(y) * width + x) * 4];
      for (int c = 0; c < 4; ++c) {
        q[c] = static_cast<std::uint8_t>(std::clamp(std::lround(area > 0 ? sum[c] / area : 0), 0L, 255L));
      }
    }
  }
  return out;
}

bool LogoImage::Load(HINSTANCE instance, int id) {
  HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), RT_BITMAP);
  if (found == nullptr) {
    return false;
  }
  DWORD size = SizeofResource(instance, found);
  HGLOBAL loaded = LoadResource(instance, found);
  const auto* data = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
  if (data == nullptr || size < sizeof(BITMAPINFOHEADER)) {
    return false;
  }
  BITMAPINFOHEADER header;
  CopyMemory(&header, data, sizeof header);
  // Check the header against the resource's real size before reading any
  // pixel: a damaged resource must not make us read past its end.
  if (header.biSize < sizeof header || header.biSize > size || header.biBitCount != 32 ||
      header.biCompression != BI_RGB || header.biWidth <= 0 || header.biWidth > 1024 ||
      header.biHeight == 0 || header.biHeight > 1024 || header.biHeight < -1024) {
    return false;
  }
  const int width = header.biWidth;
  const int height = header.biHeight > 0 ? header.biHeight : -header.biHeight;
  const std::size_t needed = header.biSize + static_cast<std::size_t>(width) * height * 4;
  if (needed > size) {
    return false;
  }
  pixels_ = data + header.biSize;
  width_ = width;
  height_ = height;
  bottomUp_ = header.biHeight > 0;
  scaled_.clear();
  scaledSize_ = 0;
  return true;
}

void LogoImage::Draw(HDC dc, int left, int top, int size, COLORREF background) {
  if (pixels_ == nullptr || size <= 0) {
    return;
  }
  if (scaledSize_ != size) {
    const std::size_t stride = static_cast<std::size_t>(width_) * 4;
    std::vector<std::uint8_t> source(stride * height_);
    for (int y = 0; y < height_; ++y) {
      const int from = bottomUp_ ? height_ - 1 - y : y;
      std::copy_n(pixels_ + from * stride, stride, source.begin() + y * stride);
    }
    scaled_ = ScaleBgra(source, width_, height_, size, size);
    scaledSize_ = size;
  }

  // Lay the premultiplied pixels over the background: c + bg * (1 - a).
  const int bg[3] = {GetBValue(background), GetGValue(background), GetRValue(background)};
  std::vector<std::uint8_t> opaque(scaled_.size());
  for (std::size_t i = 0; i < scaled_.size(); i += 4) {
    const int alpha = scaled_[i + 3];
    for (int c = 0; c < 3; ++c) {
      opaque[i + c] =
          static_cast<std::uint8_t>(std::min(255, scaled_[i + c] + (bg[c] * (255 - alpha) + 127) / 255));
    }
    opaque[i + 3] = 0;
  }

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, left, top, static_cast<DWORD>(size), static_cast<DWORD>(size), 0, 0, 0,
                    static_cast<UINT>(size), opaque.data(), &info, DIB_RGB_COLORS);
}

}  // namespace hta::win32
