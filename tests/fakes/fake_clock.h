#pragma once

#include "platform/file_system.h"

namespace morvane::test {

// A clock that stands still at `time` until a test sets another.
class FakeClock : public Clock {
public:
    FakeClock() = default;
    explicit FakeClock(LocalTime at) : time(at) {}

    LocalTime now() override { return time; }

    LocalTime time{2024, 3, 5, 14, 7, 9};
};

}  // namespace morvane::test
