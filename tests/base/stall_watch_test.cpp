#include "base/stall_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

namespace morvane {
namespace {

using std::chrono::milliseconds;

TEST(StallWatch, StalledWhenLessThanOneKibASecondArrivedOverTheLimit) {
    struct Case {
        const char* name;
        int limit;                                            // ms
        std::vector<std::pair<int, std::uint64_t>> arrivals;  // at ms, bytes
        int checkedAt;                                        // ms
        bool stalled;
    };
    const auto every = [](int step, int until, std::uint64_t bytes) {
        std::vector<std::pair<int, std::uint64_t>> a;
        for (int t = step; t < until; t += step) a.emplace_back(t, bytes);
        return a;
    };
    const Case cases[] = {
        {"nothing, before the limit", 1'000, {}, 999, false},
        {"nothing, at the limit", 1'000, {}, 1'000, true},
        {"1023 bytes", 1'000, {{500, 1'023}}, 1'000, true},
        {"1024 bytes at once", 1'000, {{500, 1'024}}, 1'499, false},
        {"1024 bytes, then nothing", 1'000, {{500, 1'024}}, 1'500, true},
        {"2 bytes every 10 ms", 1'000, every(10, 1'000, 2), 1'000, true},
        {"512 bytes every 400 ms", 1'000, every(400, 2'000, 512), 2'100, false},
        {"a burst, then a trickle", 1'000, {{100, 100'000}, {600, 10}, {900, 10}}, 1'100, true},
        // The least amount grows with the limit: a rate, not a count.
        {"700 bytes a second over 2 s", 2'000, every(100, 3'000, 70), 2'000, true},
        {"1100 bytes a second over 2 s", 2'000, every(100, 6'000, 110), 5'990, false},
        {"20 bytes a second over 60 s", 60'000, every(1'000, 60'000, 20), 60'000, true},
        {"a window without enough, between good ones",
         1'000,
         {{100, 1'000}, {900, 1'000}, {1'950, 500}},
         1'950,
         true},
    };
    const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    for (const Case& c : cases) {
        StallWatch watch(milliseconds(c.limit), start);
        for (const auto& [at, bytes] : c.arrivals) {
            watch.arrived(bytes, start + milliseconds(at));
        }
        EXPECT_EQ(watch.stalled(start + milliseconds(c.checkedAt)), c.stalled) << c.name;
    }
}

}  // namespace
}  // namespace morvane
