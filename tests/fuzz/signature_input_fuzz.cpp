// libFuzzer target over the untrusted bytes of a signed update, read the way
// the update run reads them: the settings file's "Signatur" block through the
// block reader into the key decoder, a revision description's "SHA256"
// values through the block reader into the digest parser, and the signature
// file's bytes into the verifier (libcrypto, the native decoding path).
//
// Input layout, as FuzzedDataProvider takes it apart: the settings file and
// the description, each of random length, then the signature file's bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/crypto.h"
#include "base/failure.h"
#include "blockfile/ini_reader.h"
#include "fakes/fake_file_system.h"
#include "support/signing_vectors.h"

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A value that reads as a digest writes back as the same digits.
void checkDigest(const std::string& value) {
    if (const auto digest = morvane::parseSha256(value)) {
        const std::string hex = morvane::toHex(*digest);
        for (std::size_t i = 0; i < hex.size(); ++i) {
            if (hex[i] != lower(value[i])) {
                std::abort();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace morvane;
    FuzzedDataProvider input(data, size);
    test::FakeFileSystem files;
    files.addFile("C:\\Updater.ini", input.ConsumeRandomLengthString(1024));
    files.addFile("C:\\revision.ini", input.ConsumeRandomLengthString(2048));
    const std::string signature = input.ConsumeRemainingBytesAsString();

    try {
        IniReader settings(files);
        settings.Init("C:\\Updater.ini");
        const std::string keyLine = settings.GetLine("Signatur");
        if (const auto key = SignatureKey::fromBase64(keyLine)) {
            key->verifies(test::vectors::kText, signature);
        }
        IniReader revision(files);
        revision.Init("C:\\revision.ini");
        for (std::int32_t block = 1; block <= revision.BlockCount(); ++block) {
            checkDigest(revision.GetValue(block, "SHA256"));
        }
    } catch (const Failure&) {
        // The readers' own limits (a block of more than 32,768 lines).
    }
    // Random key lines rarely read as a key: the signature bytes also go to
    // the verifier with a good key.
    static const auto known = SignatureKey::fromBase64(test::vectors::kPublicKey);
    if (!known) {
        std::abort();
    }
    known->verifies(test::vectors::kText, signature);
    return 0;
}
