#include "platform/signing.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "platform/failure.h"
#include "platform/posix/openssl_owners.h"
#include "platform/posix/os_error.h"

namespace morvane {

namespace {

using posix::BioPointer;
using posix::DigestContext;
using posix::failLibrary;
using posix::KeyPointer;

bool isP256(EVP_PKEY* key) {
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) {
        return false;
    }
    char group[64] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_group_name(key, group, sizeof group, &length) != 1) {
        ERR_clear_error();
        return false;
    }
    return OBJ_sn2nid(group) == NID_X9_62_prime256v1;
}

// A file descriptor that is closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

}  // namespace

SigningKeyPair generateSigningKey() {
    KeyPointer key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    if (!key) {
        failLibrary();
    }
    BioPointer pem(BIO_new(BIO_s_mem()));
    if (!pem) {
        throw Failure::of(err::OutOfMemory);
    }
    // PEM_write_bio_PrivateKey writes the PKCS#8 form ("PRIVATE KEY").
    if (PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
        1) {
        failLibrary();
    }
    char* text = nullptr;
    const long textLength = BIO_get_mem_data(pem.get(), &text);
    SigningKeyPair pair;
    pair.privateKeyPem.assign(text, static_cast<std::size_t>(textLength));

    const int derLength = i2d_PUBKEY(key.get(), nullptr);
    if (derLength <= 0) {
        failLibrary();
    }
    std::vector<unsigned char> der(static_cast<std::size_t>(derLength));
    unsigned char* cursor = der.data();
    if (i2d_PUBKEY(key.get(), &cursor) != derLength) {
        failLibrary();
    }
    std::string base64(4 * ((der.size() + 2) / 3) + 1, '\0');
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), der.data(), derLength);
    base64.resize(static_cast<std::size_t>(written));
    pair.publicKeyBase64 = std::move(base64);
    return pair;
}

std::optional<std::string> signWithPrivateKey(std::string_view privateKeyPem,
                                              std::string_view data) {
    if (privateKeyPem.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    BioPointer source(
        BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())));
    if (!source) {
        throw Failure::of(err::OutOfMemory);
    }
    // No password callback: an encrypted key is refused rather than asked for.
    KeyPointer key(PEM_read_bio_PrivateKey(
        source.get(), nullptr, [](char*, int, int, void*) { return 0; }, nullptr));
    if (!key) {
        ERR_clear_error();
        return std::nullopt;
    }
    if (!isP256(key.get())) {
        return std::nullopt;
    }
    DigestContext context(EVP_MD_CTX_new());
    if (!context) {
        throw Failure::of(err::OutOfMemory);
    }
    if (EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
        failLibrary();
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t length = 0;
    if (EVP_DigestSign(context.get(), nullptr, &length, bytes, data.size()) != 1) {
        failLibrary();
    }
    std::string signature(length, '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       bytes, data.size()) != 1) {
        failLibrary();
    }
    signature.resize(length);
    return signature;
}

void writePrivateFile(const std::string& path, std::string_view bytes) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (file.get() < 0) {
        throw posix::errnoFailure(errno);
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(file.get(), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw posix::errnoFailure(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::fsync(file.get()) != 0 || ::close(file.release()) != 0) {
        throw posix::errnoFailure(errno);
    }
}

}  // namespace morvane
