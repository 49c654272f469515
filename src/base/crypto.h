#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace morvane {

// SHA-256 and ECDSA P-256 verification. The cryptography and the decoding
// of its encodings (base64, DER) come from the platform; nothing here is
// computed by the updater itself. Implemented by the platform.

using Sha256Digest = std::array<std::uint8_t, 32>;

// SHA-256 of bytes that arrive piece by piece. Throws Failure when the
// platform's hash cannot be set up or fed.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const char* data, std::size_t count);
    // The digest of everything passed to update(). The hasher is spent:
    // a further update() or finish() is a Failure (InvalidCall).
    Sha256Digest finish();

    struct State;

private:
    std::unique_ptr<State> state_;
};

// A publisher's ECDSA public key on the curve P-256.
class SignatureKey {
public:
    // The key from the base64 text of its DER SubjectPublicKeyInfo. Empty
    // when the text is no base64, the bytes are no public key, or the key is
    // not an ECDSA key on P-256. Throws only for a lack of memory.
    static std::optional<SignatureKey> fromBase64(std::string_view base64);

    ~SignatureKey();
    SignatureKey(SignatureKey&&) noexcept;
    SignatureKey& operator=(SignatureKey&&) noexcept;
    SignatureKey(const SignatureKey&) = delete;
    SignatureKey& operator=(const SignatureKey&) = delete;

    // True when `signature`, a DER ECDSA-Sig-Value, signs SHA-256 of `data`
    // with this key. False for every other byte string, malformed, empty,
    // padded or truncated DER included. Throws Failure only when the
    // platform's cryptography cannot be set up.
    bool verifies(std::string_view data, std::string_view signature) const;

    struct State;

private:
    explicit SignatureKey(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

// The digest written as 64 hex digits (either case); empty for any other
// text, blanks included.
std::optional<Sha256Digest> parseSha256(std::string_view hex);

// The digest as 64 lower-case hex digits.
std::string toHex(const Sha256Digest& digest);

}  // namespace morvane
