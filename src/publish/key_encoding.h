#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "publish/signing/signing.h"

namespace morvane::publish {

// The signing key and the signature as files: fixed DER templates for P-256
// only, as openssl and keygen write them, with the numbers in their fixed
// places. Anything else is refused, with the reason; there is no general
// ASN.1 reader here.

struct KeyReading {
    std::optional<SigningKey> key;
    std::string refusal;  // why there is no key, a phrase after the file's name
};

// The key of a PEM text: "PRIVATE KEY" (PKCS#8) or "EC PRIVATE KEY" (SEC1),
// each with the public point.
KeyReading readPrivateKeyPem(std::string_view text);

// The PKCS#8 PEM text of the key, as openssl genpkey writes it.
std::string privateKeyPem(const SigningKey& key);

// The base64 of the key's DER SubjectPublicKeyInfo, on one line: the text of
// the updater's "Signatur" block.
std::string publicKeyBase64(const SigningKey& key);

// The DER ECDSA-Sig-Value of (r, s): a sequence of two minimal integers.
std::string signatureDer(const RawSignature& signature);

}  // namespace morvane::publish
