#pragma once

#include <windows.h>

#include <bcrypt.h>

#include <memory>

#include "base/win32/local_memory.h"

namespace morvane::win32 {

// Owners of the CNG handles; the structures that CryptDecodeObjectEx and
// CryptEncodeObjectEx allocate are LocalMemory.
struct AlgorithmClose {
    void operator()(void* algorithm) const noexcept { BCryptCloseAlgorithmProvider(algorithm, 0); }
};
struct HashDestroy {
    void operator()(void* hash) const noexcept { BCryptDestroyHash(hash); }
};
struct KeyDestroy {
    void operator()(void* key) const noexcept { BCryptDestroyKey(key); }
};
using Algorithm = std::unique_ptr<void, AlgorithmClose>;
using Hash = std::unique_ptr<void, HashDestroy>;
using Key = std::unique_ptr<void, KeyDestroy>;

}  // namespace morvane::win32
