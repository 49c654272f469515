#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>

namespace morvane {

// Tells a stalled transfer from a slow one. A transfer has stalled when,
// over any stretch of the stall limit since it began, less than
// kLeastRate bytes a second arrived on average: a server that trickles a
// few bytes a second holds the run no longer than a silent one, while a
// slow but real line of a few KiB a second goes on.
//
// Arrivals close together are kept as one (at the latest of their times),
// so the record stays small however many reads there are; a stall is then
// told at most a 64th of the limit late, never early.
class StallWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint64_t kLeastRate = 1024;  // bytes a second

    explicit StallWatch(std::chrono::milliseconds limit, Clock::time_point now = Clock::now())
        : limit_(limit), least_(leastWithin(limit)), start_(now) {}

    // `count` bytes arrived at `now`.
    void arrived(std::uint64_t count, Clock::time_point now = Clock::now()) {
        if (count == 0) {
            return;
        }
        forget(now);
        if (!arrivals_.empty() && now - arrivals_.back().at < limit_ / kGrain) {
            arrivals_.back().at = now;
            arrivals_.back().bytes += count;
        } else {
            arrivals_.push_back({now, count});
        }
        recent_ += count;
    }

    // The moment the transfer counts as stalled unless more arrives before:
    // when what arrived within the limit before it falls below the least
    // amount.
    Clock::time_point deadline() const {
        std::uint64_t left = recent_;
        Clock::time_point quiet = start_;  // all bytes since then still count
        for (const Arrival& arrival : arrivals_) {
            if (left < least_) {
                break;
            }
            left -= arrival.bytes;
            quiet = arrival.at;
        }
        if (left >= least_) {
            // Only a future arrival can bring it under; none is known.
            return Clock::time_point::max();
        }
        const Clock::time_point first = start_ + limit_;
        return quiet + limit_ > first ? quiet + limit_ : first;
    }

    bool stalled(Clock::time_point now = Clock::now()) const { return now >= deadline(); }

private:
    static constexpr int kGrain = 64;

    // kLeastRate over `limit`, rounded up.
    static std::uint64_t leastWithin(std::chrono::milliseconds limit) {
        const auto ms = static_cast<std::uint64_t>(std::max<std::int64_t>(0, limit.count()));
        return (ms * kLeastRate + 999) / 1000;
    }

    struct Arrival {
        Clock::time_point at;
        std::uint64_t bytes;
    };

    // Drops the arrivals that no longer lie within the limit before `now`.
    void forget(Clock::time_point now) {
        while (!arrivals_.empty() && now - arrivals_.front().at >= limit_) {
            recent_ -= arrivals_.front().bytes;
            arrivals_.pop_front();
        }
    }

    std::chrono::milliseconds limit_;
    std::uint64_t least_;  // bytes that must arrive within the limit
    Clock::time_point start_;
    std::deque<Arrival> arrivals_;
    std::uint64_t recent_ = 0;  // bytes of arrivals_
};

}  // namespace morvane
