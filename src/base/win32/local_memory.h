#pragma once

#include <windows.h>

#include <memory>

namespace morvane::win32 {

// Owns memory that a Win32 call allocated for its caller with LocalAlloc
// (FormatMessageW, CryptDecodeObjectEx, CryptEncodeObjectEx): LocalFree.
struct LocalRelease {
    void operator()(void* memory) const noexcept { LocalFree(memory); }
};
template <typename T>
using LocalMemory = std::unique_ptr<T, LocalRelease>;

}  // namespace morvane::win32
