#pragma once

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>

#include "base/failure.h"

namespace morvane::posix {

// Owners of the libcrypto objects the crypto adapters use.
struct KeyFree {
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
};
struct EncodeContextFree {
    void operator()(EVP_ENCODE_CTX* context) const noexcept { EVP_ENCODE_CTX_free(context); }
};
struct SignatureFree {
    void operator()(ECDSA_SIG* signature) const noexcept { ECDSA_SIG_free(signature); }
};
struct ContextFree {
    void operator()(EVP_PKEY_CTX* context) const noexcept { EVP_PKEY_CTX_free(context); }
};
struct NumberFree {
    void operator()(BIGNUM* number) const noexcept { BN_clear_free(number); }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, KeyFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;
using EncodeContext = std::unique_ptr<EVP_ENCODE_CTX, EncodeContextFree>;
using SignaturePointer = std::unique_ptr<ECDSA_SIG, SignatureFree>;
using ContextPointer = std::unique_ptr<EVP_PKEY_CTX, ContextFree>;
using NumberPointer = std::unique_ptr<BIGNUM, NumberFree>;

// libcrypto keeps a queue of error reports per thread; a refused input must
// not leave one behind for the next caller to trip over.
[[noreturn]] inline void failLibrary() {
    ERR_clear_error();
    throw Failure::of(err::InvalidCall);
}

}  // namespace morvane::posix
