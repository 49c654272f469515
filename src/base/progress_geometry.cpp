#include "base/progress_geometry.h"

#include <cmath>
#include <limits>

#include "base/failure.h"

namespace morvane {

double roundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction < 0.5) {
        return lower;
    }
    if (fraction > 0.5) {
        return lower + 1.0;
    }
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::int16_t roundToInt16(double value) {
    if (std::isnan(value)) {
        throw Failure::of(err::Overflow);
    }
    const double rounded = roundHalfEven(value);
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max()) {
        throw Failure::of(err::Overflow);
    }
    return static_cast<std::int16_t>(rounded);
}

namespace {

constexpr int kDesignDpi = 96;

// value × dpi / 96 for a positive dpi, halves rounded up as MulDiv does.
int scaleToDpi(int value, int dpi) {
    return static_cast<int>((static_cast<long long>(value) * dpi + kDesignDpi / 2) / kDesignDpi);
}

}  // namespace

PixelSize progressDesignSize(int dpiX, int dpiY) {
    if (dpiX <= 0 || dpiY <= 0) {
        return {kProgressDesignWidth, kProgressDesignHeight};
    }
    return {scaleToDpi(kProgressDesignWidth, dpiX), scaleToDpi(kProgressDesignHeight, dpiY)};
}

ProgressGeometry progressGeometry(int width, int height, float share) {
    const std::int16_t x = roundToInt16(width * 0.2);
    const std::int16_t y = roundToInt16(height * 0.8);
    // x is at most 32767, so width is below 2^18 here and nothing below overflows.
    const ProgressFrame frame{x, y, width - (x + 1), y + 10};
    const int barLeft = x + 2;
    const int barSpan = width - (2 * (x + 2) + 1);
    const ProgressBar bar{barLeft, y + 2, barLeft + barSpan * static_cast<double>(share), y + 8};
    return ProgressGeometry{x, y, frame, bar};
}

}  // namespace morvane
