#include "base/crypto.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <limits>
#include <string>
#include <vector>

#include "base/base64_text.h"
#include "base/failure.h"
#include "base/posix/openssl_owners.h"

namespace morvane {

namespace {

using posix::DigestContext;
using posix::EncodeContext;
using posix::failLibrary;
using posix::KeyPointer;

DigestContext newDigestContext() {
    DigestContext context(EVP_MD_CTX_new());
    if (!context) {
        throw Failure::of(err::OutOfMemory);
    }
    return context;
}

// Base64 (line breaks and blanks allowed) to bytes; empty when malformed.
std::optional<std::vector<unsigned char>> decodeBase64(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)) {
        return std::nullopt;
    }
    EncodeContext context(EVP_ENCODE_CTX_new());
    if (!context) {
        throw Failure::of(err::OutOfMemory);
    }
    std::vector<unsigned char> bytes(text.size() + 3);
    EVP_DecodeInit(context.get());
    int written = 0;
    if (EVP_DecodeUpdate(context.get(), bytes.data(), &written,
                         reinterpret_cast<const unsigned char*>(text.data()),
                         static_cast<int>(text.size())) < 0) {
        ERR_clear_error();
        return std::nullopt;
    }
    int last = 0;
    if (EVP_DecodeFinal(context.get(), bytes.data() + written, &last) != 1) {
        ERR_clear_error();
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(written) + static_cast<std::size_t>(last));
    return bytes;
}

}  // namespace

struct Sha256::State {
    DigestContext context;
};

Sha256::Sha256() : state_(std::make_unique<State>(State{newDigestContext()})) {
    if (EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1) {
        failLibrary();
    }
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const char* data, std::size_t count) {
    if (!state_ || !state_->context) {
        throw Failure::of(err::InvalidCall);
    }
    if (count > 0 && EVP_DigestUpdate(state_->context.get(), data, count) != 1) {
        failLibrary();
    }
}

Sha256Digest Sha256::finish() {
    if (!state_ || !state_->context) {
        throw Failure::of(err::InvalidCall);
    }
    const DigestContext context = std::move(state_->context);
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size()) {
        failLibrary();
    }
    return digest;
}

struct SignatureKey::State {
    KeyPointer key;
};

SignatureKey::SignatureKey(std::unique_ptr<State> state) : state_(std::move(state)) {}
SignatureKey::~SignatureKey() = default;
SignatureKey::SignatureKey(SignatureKey&&) noexcept = default;
SignatureKey& SignatureKey::operator=(SignatureKey&&) noexcept = default;

std::optional<SignatureKey> SignatureKey::fromBase64(std::string_view base64) {
    const std::optional<std::vector<unsigned char>> der = decodeBase64(base64);
    if (!isPlainBase64(base64) || !der || der->empty() ||
        der->size() > static_cast<std::size_t>(std::numeric_limits<long>::max())) {
        return std::nullopt;
    }
    const unsigned char* cursor = der->data();
    KeyPointer key(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(der->size())));
    // Bytes after the key are no part of a key the publisher printed.
    if (!key || cursor != der->data() + der->size()) {
        ERR_clear_error();
        return std::nullopt;
    }
    if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_EC) {
        return std::nullopt;
    }
    char group[64] = {};
    std::size_t groupLength = 0;
    if (EVP_PKEY_get_group_name(key.get(), group, sizeof group, &groupLength) != 1 ||
        OBJ_sn2nid(group) != NID_X9_62_prime256v1) {
        ERR_clear_error();
        return std::nullopt;
    }
    return SignatureKey(std::make_unique<State>(State{std::move(key)}));
}

bool SignatureKey::verifies(std::string_view data, std::string_view signature) const {
    if (!state_ || signature.empty()) {
        return false;
    }
    const DigestContext context = newDigestContext();
    if (EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, state_->key.get()) !=
        1) {
        failLibrary();
    }
    // libcrypto accepts only the strict DER encoding: trailing bytes, long
    // forms and missing bytes all fail here.
    const int result = EVP_DigestVerify(
        context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
        reinterpret_cast<const unsigned char*>(data.data()), data.size());
    if (result != 1) {
        ERR_clear_error();
    }
    return result == 1;
}

}  // namespace morvane
