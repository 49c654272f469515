// libFuzzer target over the untrusted bytes of a signed update: the key line
// of [Signatur] in the settings file, the signature file from the server and
// the SHA256 value of a file block, through the host's decoding (libcrypto).
//
// Input layout, as FuzzedDataProvider takes it apart: a key line and a
// SHA256 text of random lengths, then the signature file's bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/crypto.h"
#include "support/signing_vectors.h"

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace morvane;
    FuzzedDataProvider input(data, size);
    const std::string keyLine = input.ConsumeRandomLengthString(512);
    const std::string sha256 = input.ConsumeRandomLengthString(80);
    const std::string signature = input.ConsumeRemainingBytesAsString();

    if (const auto key = SignatureKey::fromBase64(keyLine)) {
        key->verifies(test::vectors::kText, signature);
    }
    // Random key lines rarely read as a key: the signature bytes also go
    // to the verifier with a good key.
    static const auto known = SignatureKey::fromBase64(test::vectors::kPublicKey);
    if (!known) {
        std::abort();
    }
    known->verifies(test::vectors::kText, signature);

    // A value that reads as a digest writes back as the same digits.
    if (const auto digest = parseSha256(sha256)) {
        const std::string hex = toHex(*digest);
        for (std::size_t i = 0; i < hex.size(); ++i) {
            if (hex[i] != lower(sha256[i])) {
                std::abort();
            }
        }
    }
    return 0;
}
