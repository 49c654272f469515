#include "publish/quantities.h"

namespace morvane::publish {

std::string grouped(std::uint64_t count) {
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, 1, ',');
    }
    return digits;
}

std::string inMebibytes(std::uint64_t bytes) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    const std::uint64_t tenths = (bytes * 10 + kMiB / 2) / kMiB;
    return grouped(tenths / 10) + "." + std::to_string(tenths % 10) + " MiB";
}

}  // namespace morvane::publish
