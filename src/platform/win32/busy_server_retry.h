#pragma once

#include <objbase.h>
#include <windows.h>

#include <chrono>

#include "platform/win32/com.h"

namespace morvane::win32 {

// How long calls into a starting or busy automation server are retried while
// it rejects them, before the rejection counts as the call's failure.
inline constexpr std::chrono::milliseconds kBusyServerPatience{30000};

// True for the answers of a server that cannot take a call now: rejected by its
// message filter (RPC_E_CALL_REJECTED) or asked to call again later.
bool isRejectedCall(HRESULT hr) noexcept;

// Waits before the `attempt`-th repetition of a rejected call (from 0, short
// and growing pauses), handing the thread's messages to the window system
// meanwhile, but never past `deadline` (GetTickCount64).
void pauseBeforeRetry(int attempt, ULONGLONG deadline);

// Makes `call` (returning an HRESULT) until it is not rejected or `patience`
// has passed since the first attempt; the last answer.
template <class Call>
HRESULT retryWhileRejected(std::chrono::milliseconds patience, Call&& call) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(patience.count());
    for (int attempt = 0;; ++attempt) {
        const HRESULT hr = call();
        if (!isRejectedCall(hr) || GetTickCount64() >= deadline) {
            return hr;
        }
        pauseBeforeRetry(attempt, deadline);
    }
}

// A message filter that makes COM repeat the thread's outgoing calls that a
// busy server rejects, for `patience` per call, registered on the calling
// thread for the lifetime of this object (the filter it replaced returns
// afterwards). Only a single-threaded apartment has message filters; on a
// thread in the multithreaded one this object does nothing and
// retryWhileRejected() alone retries.
class BusyServerFilter {
public:
    explicit BusyServerFilter(std::chrono::milliseconds patience) noexcept;
    ~BusyServerFilter();
    BusyServerFilter(const BusyServerFilter&) = delete;
    BusyServerFilter& operator=(const BusyServerFilter&) = delete;

private:
    bool registered_ = false;
    ComPtr<IMessageFilter> previous_;
};

}  // namespace morvane::win32
