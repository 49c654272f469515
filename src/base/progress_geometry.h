#pragma once

#include <cstdint>

namespace morvane {

// Client area of the progress window as designed (pixels at 96 dots per
// inch); a loaded picture replaces it by its own size.
inline constexpr int kProgressDesignWidth = 347;
inline constexpr int kProgressDesignHeight = 275;

struct PixelSize {
    int width;
    int height;
};

// The designed client area at the screen's resolution (dots per inch across
// and down), rounded to the nearest pixel as the window system scales: the
// window without a picture grows with the system's DPI as a picture does.
PixelSize progressDesignSize(int dpiX, int dpiY);

// Rounds to the nearest whole number, exact halves to the even neighbour, and
// holds the result as a 16-bit signed integer. Throws Failure 6 ("Überlauf")
// when the rounded value lies outside -32768..32767 or the value is not a number.
std::int16_t roundToInt16(double value);

// The nearest whole number, exact halves to the even neighbour, without relying
// on the floating-point rounding mode of the thread.
double roundHalfEven(double value);

// Corner points of the progress frame; both corners belong to its outline.
struct ProgressFrame {
    int left;
    int top;
    int right;
    int bottom;
};

// Corner points of the progress bar. Its right end is real: it moves with the
// share done and is mapped to a pixel column only when drawn. It lies left of
// `left` for a negative share.
struct ProgressBar {
    int left;
    int top;
    double right;
    int bottom;
};

struct ProgressGeometry {
    std::int16_t x;  // W × 0.2, rounded: left margin of the frame
    std::int16_t y;  // H × 0.8, rounded: top of the frame
    ProgressFrame frame;
    ProgressBar bar;
};

// Frame and bar over a client area of `width` × `height` pixels for the share
// done, which is used unchanged (a share above 1 runs past the frame). The bar
// lies two pixels inside the frame on the left, top and bottom, and at a share
// of 1 on the right as well. Throws Failure 6 when x or y leaves 16 bits.
ProgressGeometry progressGeometry(int width, int height, float share);

}  // namespace morvane
