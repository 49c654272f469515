#pragma once

#include <windows.h>

#include <bcrypt.h>

#include <memory>

namespace morvane::win32 {

// Owners of the CNG handles and of the structures that CryptDecodeObjectEx
// and CryptEncodeObjectEx allocate (LocalFree).
struct AlgorithmClose {
    void operator()(void* algorithm) const noexcept { BCryptCloseAlgorithmProvider(algorithm, 0); }
};
struct HashDestroy {
    void operator()(void* hash) const noexcept { BCryptDestroyHash(hash); }
};
struct KeyDestroy {
    void operator()(void* key) const noexcept { BCryptDestroyKey(key); }
};
struct LocalRelease {
    void operator()(void* memory) const noexcept { LocalFree(memory); }
};
using Algorithm = std::unique_ptr<void, AlgorithmClose>;
using Hash = std::unique_ptr<void, HashDestroy>;
using Key = std::unique_ptr<void, KeyDestroy>;
template <typename T>
using LocalMemory = std::unique_ptr<T, LocalRelease>;

}  // namespace morvane::win32
