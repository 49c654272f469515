#include "base/win32/crypt_codec.h"

#include <cstring>
#include <limits>

#include "base/failure.h"

namespace morvane::win32 {

void failStatus(NTSTATUS status) {
    constexpr auto kNoMemory = static_cast<NTSTATUS>(0xC0000017L);  // STATUS_NO_MEMORY
    throw Failure::of(status == kNoMemory ? err::OutOfMemory : err::InvalidCall);
}

LocalMemory<void> decodeObject(LPCSTR type, const BYTE* bytes, std::size_t count) {
    if (count == 0 || count > std::numeric_limits<DWORD>::max()) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    void* decoded = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, type, bytes,
                             static_cast<DWORD>(count), CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded,
                             &size)) {
        return nullptr;
    }
    return LocalMemory<void>(decoded);
}

std::optional<std::vector<BYTE>> binaryFromString(std::string_view text, DWORD flags) {
    if (text.empty() || text.size() > std::numeric_limits<DWORD>::max() / 2) {
        return std::nullopt;
    }
    const auto length = static_cast<DWORD>(text.size());
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.data(), length, flags, nullptr, &size, nullptr, nullptr) ||
        size == 0) {
        return std::nullopt;
    }
    std::vector<BYTE> bytes(size);
    if (!CryptStringToBinaryA(text.data(), length, flags, bytes.data(), &size, nullptr, nullptr)) {
        return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
}

bool namesEcP256(const CRYPT_ALGORITHM_IDENTIFIER& algorithm) {
    if (algorithm.pszObjId == nullptr ||
        std::strcmp(algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) != 0) {
        return false;
    }
    const auto curve = decode<LPSTR>(X509_OBJECT_IDENTIFIER, algorithm.Parameters.pbData,
                                     algorithm.Parameters.cbData);
    return curve && *curve != nullptr && std::strcmp(*curve, szOID_ECC_CURVE_P256) == 0;
}

}  // namespace morvane::win32
