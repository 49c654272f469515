#pragma once

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "base/win32/cng_owners.h"

namespace morvane::win32 {

// What the verifier and the publisher's signing share of CNG, and the
// verifier's CryptoAPI decoding.

// CNG reports NTSTATUS codes, which have no text among the system's error
// messages; they map onto the updater's own failures.
[[noreturn]] void failStatus(NTSTATUS status);

// CryptDecodeObjectEx into memory it allocates; null when the bytes do not
// decode as `type` (GetLastError says why).
LocalMemory<void> decodeObject(LPCSTR type, const BYTE* bytes, std::size_t count);

template <typename T>
LocalMemory<T> decode(LPCSTR type, const BYTE* bytes, std::size_t count) {
    return LocalMemory<T>(static_cast<T*>(decodeObject(type, bytes, count).release()));
}

// CryptStringToBinaryA with `flags` (the base64 of the "Signatur" block);
// empty when the text does not decode or holds no bytes.
std::optional<std::vector<BYTE>> binaryFromString(std::string_view text, DWORD flags);

// True when `algorithm` names an EC key on the curve P-256, the only keys
// that sign and verify updates.
bool namesEcP256(const CRYPT_ALGORITHM_IDENTIFIER& algorithm);

}  // namespace morvane::win32
