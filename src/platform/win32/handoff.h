#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

namespace morvane::win32 {

// Hands items from a worker thread to the thread that waits for them, one
// at a time. The waiter may give up: after a time limit without an item, or
// by abandon() when it leaves early. The worker then learns from its next
// put() that nobody takes its items any more, and ends. Both sides keep the
// handoff alive through a shared_ptr, so neither outlives it.
template <class T>
class Handoff {
public:
    // Worker: waits until the slot is free, then places `item` there. False
    // when the waiter has given up; the item is dropped.
    bool put(T item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !item_ || abandoned_; });
        if (abandoned_) {
            return false;
        }
        item_ = std::move(item);
        changed_.notify_all();
        return true;
    }

    // Waiter: the next item; nullopt when none came within `limit`, which
    // abandons the handoff.
    std::optional<T> take(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, limit, [this] { return item_.has_value(); })) {
            abandoned_ = true;
            changed_.notify_all();
            return std::nullopt;
        }
        std::optional<T> item = std::exchange(item_, std::nullopt);
        changed_.notify_all();
        return item;
    }

    // Waiter: takes no more items.
    void abandon() {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<T> item_;
    bool abandoned_ = false;
};

}  // namespace morvane::win32
