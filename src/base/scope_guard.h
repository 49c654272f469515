#pragma once

#include <utility>

namespace morvane {

// Runs a cleanup when the scope ends, also when it ends by an exception.
// The cleanup must not throw.
template <typename Cleanup>
class ScopeGuard {
public:
    explicit ScopeGuard(Cleanup cleanup) : cleanup_(std::move(cleanup)) {}
    ~ScopeGuard() { cleanup_(); }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;

private:
    Cleanup cleanup_;
};

}  // namespace morvane
