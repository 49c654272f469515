#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

#include "base/win32/unique_handle.h"

namespace morvane::win32 {

// Hands items from a worker thread to the thread that waits for them, one
// at a time. The waiter polls with tryTake() and, between polls, waits for
// ready() together with its window messages, so its windows keep answering
// while it waits. It may give up at any time by abandon(): the worker then
// learns from its next put() that nobody takes its items any more, and
// ends. Both sides keep the handoff alive through a shared_ptr, so neither
// outlives it.
template <class T>
class Handoff {
public:
    Handoff() : ready_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

    // Worker: waits until the slot is free, then places `item` there. False
    // when the waiter has given up; the item is dropped.
    bool put(T item) {
        std::unique_lock lock(mutex_);
        taken_.wait(lock, [this] { return !item_ || abandoned_; });
        if (abandoned_) {
            return false;
        }
        item_ = std::move(item);
        SetEvent(ready_.get());
        return true;
    }

    // Waiter: the item waiting in the slot, if any.
    std::optional<T> tryTake() {
        const std::lock_guard lock(mutex_);
        std::optional<T> item = std::exchange(item_, std::nullopt);
        if (item) {
            taken_.notify_all();
        }
        return item;
    }

    // Waiter: signalled (auto-reset) whenever an item is placed.
    HANDLE ready() const noexcept { return ready_.get(); }

    // Waiter: takes no more items.
    void abandon() {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
        taken_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable taken_;
    std::optional<T> item_;
    bool abandoned_ = false;
    UniqueHandle ready_;
};

}  // namespace morvane::win32
