#include "base/crypto.h"

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "base/base64_text.h"
#include "base/failure.h"
#include "base/win32/cng_owners.h"
#include "base/win32/crypt_codec.h"

namespace morvane {

namespace {

using win32::Algorithm;
using win32::decode;
using win32::failStatus;
using win32::Hash;
using win32::Key;

constexpr std::size_t kCoordinate = 32;  // bytes of r and of s on P-256

// Bytes of an unsigned number without its high zero bytes.
std::size_t significantBytes(const CRYPT_UINT_BLOB& value) {
    std::size_t length = value.cbData;
    while (length > 0 && value.pbData[length - 1] == 0) {
        --length;
    }
    return length;
}

// CNG takes r and s as unsigned big-endian numbers of exactly 32 bytes;
// CryptoAPI gives them little-endian and as long as they were encoded.
bool appendCoordinate(const CRYPT_UINT_BLOB& value, std::vector<UCHAR>& out) {
    const std::size_t length = significantBytes(value);
    if (length > kCoordinate) {
        return false;
    }
    const std::size_t start = out.size();
    out.resize(start + kCoordinate, 0);
    for (std::size_t i = 0; i < length; ++i) {
        out[start + kCoordinate - 1 - i] = value.pbData[i];
    }
    return true;
}

// The strict DER form of the signature (r, s): a sequence of two integers,
// each big-endian without needless zero bytes and with a sign byte when its
// top bit is set. Short-form lengths only, which is all that numbers up to
// 33 bytes need.
std::string derEncoded(const CRYPT_UINT_BLOB& r, const CRYPT_UINT_BLOB& s) {
    const auto integer = [](const CRYPT_UINT_BLOB& value) {
        std::string out;
        const std::size_t length = significantBytes(value);
        if (length == 0 || (value.pbData[length - 1] & 0x80) != 0) {
            out += '\0';
        }
        for (std::size_t i = length; i > 0; --i) {
            out += static_cast<char>(value.pbData[i - 1]);
        }
        return '\x02' + std::string(1, static_cast<char>(out.size())) + out;
    };
    const std::string body = integer(r) + integer(s);
    return '\x30' + std::string(1, static_cast<char>(body.size())) + body;
}

}  // namespace

struct Sha256::State {
    Algorithm algorithm;
    std::vector<UCHAR> object;  // the hash's working memory, owned by us (Windows 7)
    Hash hash;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) {
        failStatus(status);
    }
    state_->algorithm.reset(algorithm);
    DWORD objectLength = 0;
    ULONG got = 0;
    status =
        BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                          sizeof objectLength, &got, 0);
    if (!BCRYPT_SUCCESS(status)) {
        failStatus(status);
    }
    state_->object.resize(objectLength);
    BCRYPT_HASH_HANDLE hash = nullptr;
    status = BCryptCreateHash(algorithm, &hash, state_->object.data(), objectLength, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) {
        failStatus(status);
    }
    state_->hash.reset(hash);
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const char* data, std::size_t count) {
    if (!state_ || !state_->hash) {
        throw Failure::of(err::InvalidCall);
    }
    while (count > 0) {
        const ULONG piece =
            static_cast<ULONG>(std::min<std::size_t>(count, std::numeric_limits<ULONG>::max()));
        const NTSTATUS status = BCryptHashData(
            state_->hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(data)), piece, 0);
        if (!BCRYPT_SUCCESS(status)) {
            failStatus(status);
        }
        data += piece;
        count -= piece;
    }
}

Sha256Digest Sha256::finish() {
    if (!state_ || !state_->hash) {
        throw Failure::of(err::InvalidCall);
    }
    Sha256Digest digest{};
    const NTSTATUS status =
        BCryptFinishHash(state_->hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
    state_->hash.reset();
    if (!BCRYPT_SUCCESS(status)) {
        failStatus(status);
    }
    return digest;
}

struct SignatureKey::State {
    Key key;
};

SignatureKey::SignatureKey(std::unique_ptr<State> state) : state_(std::move(state)) {}
SignatureKey::~SignatureKey() = default;
SignatureKey::SignatureKey(SignatureKey&&) noexcept = default;
SignatureKey& SignatureKey::operator=(SignatureKey&&) noexcept = default;

std::optional<SignatureKey> SignatureKey::fromBase64(std::string_view base64) {
    const auto der = win32::binaryFromString(base64, CRYPT_STRING_BASE64);
    if (!isPlainBase64(base64) || !der) {
        return std::nullopt;
    }
    const auto info = decode<CERT_PUBLIC_KEY_INFO>(X509_PUBLIC_KEY_INFO, der->data(), der->size());
    if (!info || !win32::namesEcP256(info->Algorithm)) {
        return std::nullopt;
    }
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (!CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info.get(), 0, nullptr, &handle)) {
        return std::nullopt;
    }
    // An EC key whose curve is P-256 imports as an ECDSA P-256 key: the
    // checks above decide, so no property of the key is asked for.
    return SignatureKey(std::make_unique<State>(State{Key(handle)}));
}

bool SignatureKey::verifies(std::string_view data, std::string_view signature) const {
    if (!state_ || !state_->key) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const BYTE*>(signature.data());
    const auto decoded = decode<CERT_ECC_SIGNATURE>(X509_ECC_SIGNATURE, bytes, signature.size());
    if (!decoded) {
        return false;
    }
    // Only the strict DER form counts, as with libcrypto: CryptoAPI accepts
    // bytes after the signature, long-form lengths, needless zero bytes and
    // a missing sign byte, so the numbers it read are encoded again and must
    // give exactly the bytes that came.
    if (signature != derEncoded(decoded->r, decoded->s)) {
        return false;
    }
    std::vector<UCHAR> rs;
    rs.reserve(2 * kCoordinate);
    if (!appendCoordinate(decoded->r, rs) || !appendCoordinate(decoded->s, rs)) {
        return false;
    }
    Sha256 hash;
    hash.update(data.data(), data.size());
    Sha256Digest digest = hash.finish();
    const NTSTATUS status = BCryptVerifySignature(state_->key.get(), nullptr, digest.data(),
                                                  static_cast<ULONG>(digest.size()), rs.data(),
                                                  static_cast<ULONG>(rs.size()), 0);
    return BCRYPT_SUCCESS(status);
}

}  // namespace morvane
