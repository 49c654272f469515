#include "update/self_test.h"

#include <optional>
#include <string>
#include <string_view>

#include "base/crypto.h"

namespace morvane {
namespace {

// A key of the updater's own, a text and its signature: they exercise the
// platform's decoders and ECDSA check as a signed run does.
constexpr std::string_view kKey =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEvk0XFsWFK1SULG7OfaLU+qNOYYC+pmFk051MFNhhDc7g5iM4CyB3Gl"
    "AxNDlRH1JnUiEvc/fH8qjJthsz3sbQ4Q==";
constexpr std::string_view kText = "Morvane-Selbsttest";
constexpr std::string_view kTextSha256 =
    "26ece40145a2bfe35affc5a7d82243b6aa1270633443f6186abaf675ae1773d2";
constexpr std::string_view kSignatureHex =
    "3046022100f31e533097eaaed7bf608f66e3cda922a578d37808c406dc8cfbb3cab8829464022100fc58ba7d20"
    "8ff347f1f9e96a37e5164bbbcf6e96eec640a9f6145b5e9d2e3332";

std::string bytesOfHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(at, 2)), nullptr, 16));
    }
    return bytes;
}

bool cryptographyWorks() {
    Sha256 hash;
    hash.update(kText.data(), kText.size());
    if (toHex(hash.finish()) != kTextSha256) {
        return false;
    }
    const std::optional<SignatureKey> key = SignatureKey::fromBase64(kKey);
    std::string signature = bytesOfHex(kSignatureHex);
    if (!key || !key->verifies(kText, signature)) {
        return false;
    }
    signature.back() = static_cast<char>(signature.back() ^ 1);
    return !key->verifies(kText, signature);
}

}  // namespace

int selfTest(Process& process) {
    try {
        return !process.fileVersion().empty() && cryptographyWorks() ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

}  // namespace morvane
