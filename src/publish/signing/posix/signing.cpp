#include "publish/signing/signing.h"

#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <memory>
#include <utility>

#include "base/failure.h"
#include "base/posix/openssl_owners.h"
#include "base/posix/unique_fd.h"
#include "platform/posix/os_error.h"

namespace morvane {

namespace {

using posix::DigestContext;
using posix::failLibrary;
using posix::KeyPointer;

using posix::ContextPointer;
using posix::NumberPointer;
using posix::SignaturePointer;

// The libcrypto key of the numbers; null when they are no P-256 key pair.
KeyPointer keyOf(const SigningKey& key) {
    // OSSL_PARAM numbers are in the machine's byte order.
    std::array<unsigned char, kP256Number> number = key.privateNumber;
    if constexpr (std::endian::native == std::endian::little) {
        std::reverse(number.begin(), number.end());
    }
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY,
                                          const_cast<unsigned char*>(key.publicPoint.data()),
                                          key.publicPoint.size()),
        OSSL_PARAM_construct_BN(OSSL_PKEY_PARAM_PRIV_KEY, number.data(), number.size()),
        OSSL_PARAM_construct_end()};
    ContextPointer context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* made = nullptr;
    const bool ok = context && EVP_PKEY_fromdata_init(context.get()) == 1 &&
                    EVP_PKEY_fromdata(context.get(), &made, EVP_PKEY_KEYPAIR, params) == 1;
    OPENSSL_cleanse(number.data(), number.size());
    ERR_clear_error();
    return KeyPointer(ok ? made : nullptr);
}

// `number` as exactly 32 big-endian bytes into `out`.
void putNumber(const BIGNUM* number, unsigned char* out) {
    if (BN_bn2binpad(number, out, static_cast<int>(kP256Number)) != kP256Number) {
        failLibrary();
    }
}

}  // namespace

SigningKey generateSigningKey() {
    KeyPointer made(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    if (!made) {
        failLibrary();
    }
    SigningKey key;
    BIGNUM* number = nullptr;
    if (EVP_PKEY_get_bn_param(made.get(), OSSL_PKEY_PARAM_PRIV_KEY, &number) != 1) {
        failLibrary();
    }
    const NumberPointer owner(number);
    putNumber(number, key.privateNumber.data());
    std::size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(made.get(), OSSL_PKEY_PARAM_PUB_KEY, key.publicPoint.data(),
                                        key.publicPoint.size(), &length) != 1 ||
        length != kP256Point || key.publicPoint[0] != 0x04) {
        failLibrary();
    }
    return key;
}

std::optional<RawSignature> signWithKey(const SigningKey& key, std::string_view data) {
    const KeyPointer pkey = keyOf(key);
    if (!pkey) {
        return std::nullopt;
    }
    DigestContext context(EVP_MD_CTX_new());
    if (!context) {
        throw Failure::of(err::OutOfMemory);
    }
    if (EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) != 1) {
        failLibrary();
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::array<unsigned char, 80> der{};  // ECDSA-Sig-Value on P-256: at most 72 bytes
    std::size_t length = der.size();
    if (EVP_DigestSign(context.get(), der.data(), &length, bytes, data.size()) != 1) {
        failLibrary();
    }
    const unsigned char* cursor = der.data();
    const SignaturePointer decoded(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(length)));
    if (!decoded) {
        failLibrary();
    }
    RawSignature signature{};
    putNumber(ECDSA_SIG_get0_r(decoded.get()), signature.data());
    putNumber(ECDSA_SIG_get0_s(decoded.get()), signature.data() + kP256Number);
    return signature;
}

void writePrivateFile(const std::string& path, std::string_view bytes) {
    posix::UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file.valid()) {
        throw posix::errnoFailure(errno);
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(file.get(), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw posix::errnoFailure(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::fsync(file.get()) != 0 || ::close(file.release()) != 0) {
        throw posix::errnoFailure(errno);
    }
}

const char* publisherName() {
    return "morvane-publish";
}

std::optional<std::string> englishSystemMessage(const Failure&) {
    // The POSIX adapters raise only the updater's own failures.
    return std::nullopt;
}

}  // namespace morvane
