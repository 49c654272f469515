#pragma once

#include <utility>

namespace morvane {

// Owns one resource of the system (a kernel handle, a file descriptor, a
// GDI object); move-only. `Traits` says what it is:
//   using Value = ...;                  // the raw handle type
//   static Value none() noexcept;       // the value that holds nothing
//   static bool isValid(Value) noexcept;
//   static bool close(Value) noexcept;  // true when the system call succeeded
template <typename Traits>
class UniqueResource {
public:
    using Value = typename Traits::Value;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Value value) noexcept : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    Value get() const noexcept { return value_; }
    bool valid() const noexcept { return Traits::isValid(value_); }
    explicit operator bool() const noexcept { return valid(); }

    // Closes the resource and reports whether the close succeeded (true
    // when there was nothing to close). For callers that must know, such as
    // a file whose last data the close writes.
    bool close() noexcept {
        const Value old = release();
        return !Traits::isValid(old) || Traits::close(old);
    }

    // Closes any resource held, ignoring errors, and takes `value`. The
    // member is cleared before the close, and nothing but the close is
    // called, so a child may use it between fork and exec.
    void reset(Value value = Traits::none()) noexcept {
        const Value old = std::exchange(value_, value);
        if (Traits::isValid(old)) {
            Traits::close(old);
        }
    }

    // Gives up ownership without closing.
    Value release() noexcept { return std::exchange(value_, Traits::none()); }

private:
    Value value_ = Traits::none();
};

}  // namespace morvane
