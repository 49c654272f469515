#include "platform/stall_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

namespace morvane {
namespace {

using std::chrono::milliseconds;

TEST(StallWatch, StalledOnlyWhenLessThanOneKibArrivedWithinTheLimit) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::uint64_t>> arrivals;  // at ms, bytes
        int checkedAt;                                        // ms
        bool stalled;
    };
    const Case cases[] = {
        {"nothing, before the limit", {}, 999, false},
        {"nothing, at the limit", {}, 1'000, true},
        {"1023 bytes", {{500, 1'023}}, 1'000, true},
        {"1024 bytes at once", {{500, 1'024}}, 1'499, false},
        {"1024 bytes, then nothing", {{500, 1'024}}, 1'500, true},
        {"2 bytes every 10 ms",
         [] {
             std::vector<std::pair<int, std::uint64_t>> a;
             for (int t = 10; t < 1'000; t += 10) a.emplace_back(t, 2);
             return a;
         }(),
         1'000, true},
        {"512 bytes every 400 ms",
         {{400, 512}, {800, 512}, {1'200, 512}, {1'600, 512}},
         2'500,
         false},
        {"a burst, then a trickle", {{100, 100'000}, {600, 10}, {900, 10}}, 1'100, true},
    };
    const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    for (const Case& c : cases) {
        StallWatch watch(milliseconds(1'000), start);
        for (const auto& [at, bytes] : c.arrivals) {
            watch.arrived(bytes, start + milliseconds(at));
        }
        EXPECT_EQ(watch.stalled(start + milliseconds(c.checkedAt)), c.stalled) << c.name;
    }
}

}  // namespace
}  // namespace morvane
