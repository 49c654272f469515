#pragma once

#include <cstdint>
#include <limits>

#include "base/failure.h"

namespace morvane {

// 16-bit counters and block positions of the update run: arithmetic that
// leaves the range is failure 6 ("Überlauf"), never a wrap-around.
inline std::int16_t toInt16(long long value) {
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max()) {
        throw Failure::of(err::Overflow);
    }
    return static_cast<std::int16_t>(value);
}

inline std::int16_t addInt16(std::int16_t a, long long b) {
    return toInt16(a + b);
}

}  // namespace morvane
