#pragma once

// Pictures of windows as the box driver saves them: 24-bit colour, rows from
// the top, stored as PNG for people and as BMP for tests that read pixels.

#include <cstdint>
#include <string>
#include <vector>

namespace morvane::box_driver {

struct Image {
    int width = 0;
    int height = 0;
    // Red, green, blue per pixel, rows from the top, no padding.
    std::vector<std::uint8_t> rgb;

    bool empty() const { return width <= 0 || height <= 0; }
};

// The file contents of `image` as a PNG (colour type 2, 8 bits per channel).
// The image data is deflated in stored blocks: no compression library needed.
std::string encodePng(const Image& image);

// The file contents of `image` as a BMP (bottom-up, 24 bits per pixel).
std::string encodeBmp(const Image& image);

}  // namespace morvane::box_driver
