#pragma once

#include <objbase.h>
#include <windows.h>

#include <utility>

namespace morvane::win32 {

// One reference to a COM object; move-only.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const noexcept { return pointer_; }
    T* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }
    // The address for a call that hands out a new reference; what was held
    // is released first.
    T** put() noexcept {
        reset();
        return &pointer_;
    }
    void reset() noexcept {
        if (T* pointer = std::exchange(pointer_, nullptr)) {
            pointer->Release();
        }
    }

private:
    T* pointer_ = nullptr;
};

// Membership of the thread in a single-threaded COM apartment, left again
// only when this object entered it. Callers choose what a failure means:
// the progress window enters on first use and does without COM when it
// cannot have it; the spreadsheet automation enters when it starts and
// fails unless COM is usable.
class ComApartment {
public:
    ComApartment() = default;
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { leave(); }

    // Enters the apartment unless this object has already. S_OK and S_FALSE
    // (the thread was initialised already) both count as entered and are
    // balanced by leave(). RPC_E_CHANGED_MODE: the thread runs in another
    // apartment model, where COM calls still work but this object must not
    // uninitialise; any other failure leaves COM unusable.
    HRESULT enter() noexcept {
        if (entered_) {
            return S_OK;
        }
        const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        entered_ = SUCCEEDED(result);
        return result;
    }
    void leave() noexcept {
        if (std::exchange(entered_, false)) {
            CoUninitialize();
        }
    }

private:
    bool entered_ = false;
};

}  // namespace morvane::win32
