#pragma once

#include <windows.h>

#include "base/unique_resource.h"

namespace morvane::win32 {

// A kernel handle (file, process, thread, mutex, event). Both null and
// INVALID_HANDLE_VALUE mean "no handle", since the creating calls disagree
// on which one reports failure; GetLastError() tells why a close() failed.
struct KernelHandle {
    using Value = HANDLE;
    static Value none() noexcept { return nullptr; }
    static bool isValid(Value handle) noexcept {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static bool close(Value handle) noexcept { return CloseHandle(handle) != FALSE; }
};

using UniqueHandle = UniqueResource<KernelHandle>;

}  // namespace morvane::win32
