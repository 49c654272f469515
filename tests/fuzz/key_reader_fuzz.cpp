// libFuzzer target over the publisher's key file: whatever text the reader
// takes as a key writes back as a PKCS#8 text that reads as the same key,
// and every (r, s) encodes as a sequence of two integers of the right length.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "publish/key_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace morvane;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const publish::KeyReading reading = publish::readPrivateKeyPem(text);
    if (reading.key.has_value() == !reading.refusal.empty()) {
        std::abort();
    }
    if (reading.key) {
        const publish::KeyReading again =
            publish::readPrivateKeyPem(publish::privateKeyPem(*reading.key));
        if (!again.key || again.key->privateNumber != reading.key->privateNumber ||
            again.key->publicPoint != reading.key->publicPoint ||
            publish::publicKeyBase64(*reading.key).size() != 124) {
            std::abort();
        }
    }
    if (size >= sizeof(RawSignature)) {
        RawSignature raw{};
        std::copy_n(data, raw.size(), raw.begin());
        const std::string der = publish::signatureDer(raw);
        const auto length = [&](std::size_t at) { return static_cast<unsigned char>(der[at]); };
        if (der.size() < 8 || der.size() > 72 || der[0] != 0x30 || length(1) != der.size() - 2 ||
            der[2] != 0x02 || der[4 + length(3)] != 0x02 ||
            4 + length(3) + 2 + length(5 + length(3)) != der.size()) {
            std::abort();
        }
    }
    return 0;
}
