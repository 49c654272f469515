#pragma once

#include <windows.h>

#include <utility>

namespace morvane::win32 {

// Owns one kernel handle (file, process, thread, mutex, event); move-only.
// Both null and INVALID_HANDLE_VALUE mean "no handle", since the creating
// calls disagree on which one reports failure.
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(HANDLE handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    HANDLE get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const noexcept { return valid(); }

    // Closes the handle and reports whether CloseHandle succeeded (true when
    // there was nothing to close). For callers that must know, such as a file
    // whose last data the close writes; GetLastError() holds the reason.
    bool close() noexcept {
        if (!valid()) {
            handle_ = nullptr;
            return true;
        }
        return CloseHandle(std::exchange(handle_, nullptr)) != FALSE;
    }

    // Closes any handle held, ignoring errors, and takes `handle`.
    void reset(HANDLE handle = nullptr) noexcept {
        if (valid()) {
            CloseHandle(handle_);
        }
        handle_ = handle;
    }

    // Gives up ownership without closing.
    HANDLE release() noexcept { return std::exchange(handle_, nullptr); }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace morvane::win32
