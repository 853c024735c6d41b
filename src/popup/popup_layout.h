#pragma once

namespace hta {

// The popup's geometry as the form was designed: lengths in twips, 1440 to
// the inch, so 15 twips are one pixel at 96 dots per inch and 12 at 120.
// Both the placement (core) and the window (platform side) take their pixels
// from here, so the two never disagree about a popup's size.
inline constexpr int kTwipsPerInch = 1440;

struct TwipsRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;  // one past the last pixel
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

inline constexpr int kPopupWidthTwips = 5010;  // client area of a popup
inline constexpr int kPopupHeightTwips = 2370;
inline constexpr TwipsRect kMessageTwips{300, 240, 4275, 1935};  // the message text
inline constexpr TwipsRect kCloseTwips{4785, 60, 255, 2235};     // the "x" strip
inline constexpr TwipsRect kBorderTwips{120, 120, 4575, 2145};   // the border of a link
// The background picture is a pixel image made for 96 dots per inch.
inline constexpr int kBackgroundWidth96 = 320;
inline constexpr int kBackgroundHeight96 = 176;
// Font sizes in points, scaled by the DPI like everything else.
inline constexpr double kMessageFontPoints = 11.25;
inline constexpr double kCloseFontPoints = 12.0;

// The margins of the placement are in screen pixels whatever the DPI: the
// popup stays 20 pixels from the right, the lowest one 60 pixels (plus the
// 5-pixel gap) above the bottom, 5 pixels between two popups.
inline constexpr int kRightMarginPixels = 20;
inline constexpr int kBottomMarginPixels = 60;
inline constexpr int kGapPixels = 5;

// Twips to pixels at `dpi`, rounded to the nearest pixel (halves away from
// zero, as the platform's MulDiv does).
constexpr int TwipsToPixels(int twips, int dpi) {
  const long long scaled = static_cast<long long>(twips) * dpi;
  const long long half = kTwipsPerInch / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kTwipsPerInch
                                      : -((-scaled + half) / kTwipsPerInch));
}

// A twips rectangle in pixels; its edges are converted, not its size, so
// items that meet in twips meet in pixels too.
constexpr PixelRect ToPixels(const TwipsRect& rect, int dpi) {
  return PixelRect{TwipsToPixels(rect.left, dpi), TwipsToPixels(rect.top, dpi),
                   TwipsToPixels(rect.left + rect.width, dpi), TwipsToPixels(rect.top + rect.height, dpi)};
}

constexpr int PopupWidthPixels(int dpi) {
  return TwipsToPixels(kPopupWidthTwips, dpi);
}
constexpr int PopupHeightPixels(int dpi) {
  return TwipsToPixels(kPopupHeightTwips, dpi);
}

}  // namespace hta
