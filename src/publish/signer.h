#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "publish/signing/signing.h"

namespace morvane::publish {

// The publisher's private key, read from its file, signing descriptions.
class Signer {
public:
    // Throws std::runtime_error naming the file and why it holds no key that
    // signs: missing, encrypted, another kind of key, or a public point that
    // is not the private number's.
    static Signer fromKeyFile(const std::string& path);

    // The DER signature of `data`, checked with the key's own public point.
    std::string sign(std::string_view data) const;

private:
    Signer(const SigningKey& key, std::string path) : key_(key), path_(std::move(path)) {}

    SigningKey key_;
    std::string path_;
};

// Makes a key pair, writes its private key to the new file `path` and
// returns the public key's "Signatur" line. Throws std::runtime_error when
// `path` exists already: a key is never replaced.
std::string makeKeyFile(const std::string& path);

}  // namespace morvane::publish
