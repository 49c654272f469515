#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morvane::test {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// A GIF of width × height pixels for the pictures the updater shows: a
// colour table of 128 entries from `palette` (black where it ends) and each
// pixel's entry from `indexAt(row, column)`, below 128.
std::string makeGif(int width, int height, const std::vector<Rgb>& palette,
                    const std::function<int(int row, int column)>& indexAt);

}  // namespace morvane::test
