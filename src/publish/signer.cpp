#include "publish/signer.h"

#include <optional>
#include <stdexcept>

#include "base/crypto.h"
#include "publish/failure_text.h"
#include "publish/key_encoding.h"
#include "publish/local_files.h"

namespace morvane::publish {

Signer Signer::fromKeyFile(const std::string& path) {
    if (!isRegularFile(path)) {
        throw std::runtime_error("the key file " + path + " does not exist");
    }
    const std::optional<std::string> text = readWholeFile(path, 64 * kKibibyte);
    if (!text) {
        throw std::runtime_error("cannot read the key file " + path +
                                 " (unreadable, or larger than a key file)");
    }
    KeyReading reading = readPrivateKeyPem(*text);
    if (!reading.key) {
        throw std::runtime_error("the key file " + path + " " + reading.refusal);
    }
    Signer signer(*reading.key, path);
    signer.sign({});  // a damaged key fails here, before anything is written
    return signer;
}

std::string Signer::sign(std::string_view data) const {
    const std::optional<RawSignature> raw = signWithKey(key_, data);
    std::string signature = raw ? signatureDer(*raw) : std::string();
    const std::optional<SignatureKey> own = SignatureKey::fromBase64(publicKeyBase64(key_));
    if (!raw || !own || !own->verifies(data, signature)) {
        throw std::runtime_error("the key file " + path_ +
                                 " holds a damaged key: its public point does not belong to its "
                                 "private number");
    }
    return signature;
}

std::string makeKeyFile(const std::string& path) {
    if (isRegularFile(path) || isFolder(path)) {
        throw std::runtime_error(path +
                                 " exists already, and keygen never replaces a key (workstations "
                                 "that hold its public key would refuse every later release): "
                                 "choose another file name");
    }
    const SigningKey key = generateSigningKey();
    try {
        writePrivateFile(path, privateKeyPem(key));
    } catch (const Failure& e) {
        throw std::runtime_error("cannot write the key file " + path + ": " + englishText(e));
    }
    return publicKeyBase64(key);
}

}  // namespace morvane::publish
