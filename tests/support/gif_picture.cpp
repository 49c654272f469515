#include "support/gif_picture.h"

#include <algorithm>
#include <cstddef>

namespace morvane::test {

namespace {

void putLe16(std::string& out, int value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

}  // namespace

std::string makeGif(int width, int height, const std::vector<Rgb>& palette,
                    const std::function<int(int row, int column)>& indexAt) {
    constexpr std::size_t kColours = 128;
    std::string gif = "GIF89a";
    putLe16(gif, width);
    putLe16(gif, height);
    gif.push_back(static_cast<char>(0xF6));  // global colour table of 128 entries
    gif.push_back(0);                        // background colour index
    gif.push_back(0);                        // pixel aspect ratio
    for (std::size_t i = 0; i < kColours; ++i) {
        const Rgb colour = i < palette.size() ? palette[i] : Rgb{};
        gif.push_back(static_cast<char>(colour.red));
        gif.push_back(static_cast<char>(colour.green));
        gif.push_back(static_cast<char>(colour.blue));
    }
    gif.push_back(0x2C);  // image descriptor
    putLe16(gif, 0);
    putLe16(gif, 0);
    putLe16(gif, width);
    putLe16(gif, height);
    gif.push_back(0);  // no local colour table, not interlaced

    // With a minimum code size of 7 every code is one byte as long as a clear
    // code comes before the dictionary reaches 256 codes.
    constexpr char kClear = static_cast<char>(128);
    constexpr char kEnd = static_cast<char>(129);
    std::string codes;
    int sinceClear = 100;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            if (sinceClear == 100) {
                codes.push_back(kClear);
                sinceClear = 0;
            }
            codes.push_back(static_cast<char>(indexAt(row, column)));
            ++sinceClear;
        }
    }
    codes.push_back(kEnd);

    gif.push_back(7);  // LZW minimum code size
    for (std::size_t at = 0; at < codes.size(); at += 255) {
        const std::size_t length = std::min<std::size_t>(255, codes.size() - at);
        gif.push_back(static_cast<char>(length));
        gif.append(codes, at, length);
    }
    gif.push_back(0);     // end of the image data
    gif.push_back(0x3B);  // trailer
    return gif;
}

}  // namespace morvane::test
