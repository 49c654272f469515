#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/failure.h"

namespace morvane {

// The publisher's side of signed updates: making an ECDSA P-256 key pair and
// signing with its private key. Only the publisher tool uses these; the
// updater itself only verifies (platform/crypto.h). The platform does the
// cryptography on the key's numbers; the publisher writes and reads them as
// PEM and DER (publish/key_encoding.h). Implemented by the platform.

inline constexpr std::size_t kP256Number = 32;                  // bytes of d, X, Y, r and s
inline constexpr std::size_t kP256Point = 1 + 2 * kP256Number;  // 04 || X || Y

// An ECDSA P-256 key pair as big-endian numbers; its memory is wiped when it
// goes.
struct SigningKey {
    std::array<unsigned char, kP256Number> privateNumber{};  // d
    std::array<unsigned char, kP256Point> publicPoint{};     // uncompressed

    SigningKey() = default;
    SigningKey(const SigningKey&) = default;
    SigningKey& operator=(const SigningKey&) = default;
    ~SigningKey() {
        volatile unsigned char* secret = privateNumber.data();
        for (std::size_t i = 0; i < privateNumber.size(); ++i) {
            secret[i] = 0;
        }
    }
};

// r || s, each 32 bytes big-endian.
using RawSignature = std::array<unsigned char, 2 * kP256Number>;

// A new key pair. Throws Failure when the platform cannot make one.
SigningKey generateSigningKey();

// The ECDSA signature over SHA-256 of `data`. Empty when the platform does
// not take the numbers as a P-256 key. Throws Failure when the platform's
// cryptography cannot be set up.
std::optional<RawSignature> signWithKey(const SigningKey& key, std::string_view data);

// Creates the new file `path` (UTF-8) with `bytes`, readable and writable by
// its owner only where the file system keeps permissions. Throws Failure,
// also when the file exists already.
void writePrivateFile(const std::string& path, std::string_view bytes);

// The program's name in the publisher's messages.
const char* publisherName();

// The English text of a failure that carries an operating-system code;
// empty for the updater's own failures (failure.h), which the publisher
// words itself.
std::optional<std::string> englishSystemMessage(const Failure& failure);

}  // namespace morvane
