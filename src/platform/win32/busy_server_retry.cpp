#include "platform/win32/busy_server_retry.h"

#include <algorithm>
#include <new>

#include "platform/win32/message_pump.h"

namespace morvane::win32 {

namespace {

constexpr DWORD kFirstPauseMilliseconds = 50;
constexpr DWORD kLongestPauseMilliseconds = 250;
// A return value of RetryRejectedCall from 100 on: wait that long, then retry.
constexpr DWORD kFilterRetryMilliseconds = 250;
constexpr DWORD kCancelCall = static_cast<DWORD>(-1);

// The filter COM consults for this thread's calls. A busy server's
// rejection, whether "later" or outright, is retried: a starting spreadsheet
// program rejects outright until it is ready.
class RetryingMessageFilter final : public IMessageFilter {
public:
    explicit RetryingMessageFilter(DWORD patienceMilliseconds) noexcept
        : patience_(patienceMilliseconds) {}
    RetryingMessageFilter(const RetryingMessageFilter&) = delete;
    RetryingMessageFilter& operator=(const RetryingMessageFilter&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
            *object = static_cast<IMessageFilter*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }

    // Calls into this thread are taken as without a filter.
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    // `elapsed`: milliseconds since the call was first made.
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsed, DWORD) override {
        return elapsed < patience_ ? kFilterRetryMilliseconds : kCancelCall;
    }
    // Messages arriving while a call waits are handled as COM does by default.
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }

private:
    ~RetryingMessageFilter() = default;

    DWORD patience_;
    LONG references_ = 1;
};

}  // namespace

bool isRejectedCall(HRESULT hr) noexcept {
    return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER;
}

void pauseBeforeRetry(int attempt, ULONGLONG deadline) {
    const DWORD pause =
        std::min(kFirstPauseMilliseconds << std::min(attempt, 3), kLongestPauseMilliseconds);
    const ULONGLONG end = std::min(GetTickCount64() + pause, deadline);
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        dispatchPendingMessages();
    }
}

BusyServerFilter::BusyServerFilter(std::chrono::milliseconds patience) noexcept {
    auto* filter = new (std::nothrow) RetryingMessageFilter(
        static_cast<DWORD>(std::clamp<long long>(patience.count(), 0, kCancelCall - 1)));
    if (filter == nullptr) {
        return;
    }
    // COM holds its own reference while the filter is registered.
    registered_ = SUCCEEDED(CoRegisterMessageFilter(filter, previous_.put()));
    filter->Release();
}

BusyServerFilter::~BusyServerFilter() {
    if (registered_) {
        CoRegisterMessageFilter(previous_.get(), nullptr);
    }
}

}  // namespace morvane::win32
