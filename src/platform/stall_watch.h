#pragma once

#include <chrono>
#include <cstdint>

namespace morvane {

// Tells a stalled transfer from a slow one. A transfer has stalled when
// less than kLeastProgress bytes arrived within the stall limit: a server
// that trickles a few bytes a second holds the run no longer than a silent
// one, while a slow but real line of a few KiB a second goes on.
//
// The count restarts whenever kLeastProgress bytes have come together, so
// the watch needs no record of single arrivals: when it reports a stall,
// everything since the last restart, and so everything of the last stall
// limit, is less than kLeastProgress bytes.
class StallWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint64_t kLeastProgress = 1024;

    explicit StallWatch(std::chrono::milliseconds limit, Clock::time_point now = Clock::now())
        : limit_(limit), since_(now) {}

    // `count` bytes arrived at `now`.
    void arrived(std::uint64_t count, Clock::time_point now = Clock::now()) {
        gathered_ += count;
        if (gathered_ >= kLeastProgress) {
            gathered_ = 0;
            since_ = now;
        }
    }

    // The moment the transfer counts as stalled unless enough arrives before.
    Clock::time_point deadline() const { return since_ + limit_; }
    bool stalled(Clock::time_point now = Clock::now()) const { return now >= deadline(); }

private:
    std::chrono::milliseconds limit_;
    Clock::time_point since_;
    std::uint64_t gathered_ = 0;
};

}  // namespace morvane
