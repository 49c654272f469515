#include "publish/signing/signing.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "base/crypto.h"
#include "base/failure.h"
#include "base/text.h"
#include "base/win32/cng_owners.h"
#include "base/win32/crypt_codec.h"
#include "base/win32/unique_handle.h"
#include "base/win32/wide.h"
#include "platform/win32/os_error.h"

namespace morvane {

namespace {

using win32::Algorithm;
using win32::failStatus;
using win32::Key;

// The failure of a Windows call, by the code it left: read right after the
// call failed, before any other call could overwrite it.
[[noreturn]] void failWith(DWORD error) {
    throw win32::osFailure(error);
}

// The TOKEN_USER of `token`, in memory of its own size.
std::vector<BYTE> tokenUser(HANDLE token) {
    // Without a buffer the call fails and tells the size it needs.
    DWORD needed = 0;
    const DWORD sizing =
        GetTokenInformation(token, TokenUser, nullptr, 0, &needed) ? ERROR_SUCCESS : GetLastError();
    if (needed == 0) {
        failWith(sizing != ERROR_SUCCESS ? sizing : ERROR_INVALID_DATA);
    }
    std::vector<BYTE> user(needed);
    if (!GetTokenInformation(token, TokenUser, user.data(), needed, &needed)) {
        failWith(GetLastError());
    }
    return user;
}

Algorithm openEcdsaP256() {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    const NTSTATUS status =
        BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) {
        failStatus(status);
    }
    return Algorithm(algorithm);
}

// A BCRYPT_ECCPRIVATE_BLOB: its header, then X, Y and d, big-endian. Wiped
// when it goes.
class PrivateBlob {
public:
    PrivateBlob() : bytes_(kSize) {}
    ~PrivateBlob() { SecureZeroMemory(bytes_.data(), bytes_.size()); }
    PrivateBlob(const PrivateBlob&) = delete;
    PrivateBlob& operator=(const PrivateBlob&) = delete;

    static constexpr std::size_t kSize = sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kP256Number;

    BYTE* data() { return bytes_.data(); }
    ULONG size() const { return static_cast<ULONG>(bytes_.size()); }
    BCRYPT_ECCKEY_BLOB& header() { return *reinterpret_cast<BCRYPT_ECCKEY_BLOB*>(bytes_.data()); }
    BYTE* numbers() { return bytes_.data() + sizeof(BCRYPT_ECCKEY_BLOB); }

private:
    std::vector<BYTE> bytes_;
};

}  // namespace

SigningKey generateSigningKey() {
    const Algorithm algorithm = openEcdsaP256();
    BCRYPT_KEY_HANDLE handle = nullptr;
    NTSTATUS status = BCryptGenerateKeyPair(algorithm.get(), &handle, 256, 0);
    if (!BCRYPT_SUCCESS(status)) {
        failStatus(status);
    }
    const Key key(handle);
    status = BCryptFinalizeKeyPair(handle, 0);
    if (!BCRYPT_SUCCESS(status)) {
        failStatus(status);
    }
    PrivateBlob blob;
    ULONG size = 0;
    status = BCryptExportKey(handle, nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(), blob.size(),
                             &size, 0);
    if (!BCRYPT_SUCCESS(status)) {
        failStatus(status);
    }
    if (size != blob.size() || blob.header().cbKey != kP256Number) {
        throw Failure::of(err::InvalidCall);
    }
    SigningKey pair;
    const BYTE* numbers = blob.numbers();
    pair.publicPoint[0] = 0x04;
    std::copy_n(numbers, 2 * kP256Number, pair.publicPoint.begin() + 1);
    std::copy_n(numbers + 2 * kP256Number, kP256Number, pair.privateNumber.begin());
    return pair;
}

std::optional<RawSignature> signWithKey(const SigningKey& key, std::string_view data) {
    PrivateBlob blob;
    blob.header().dwMagic = BCRYPT_ECDSA_PRIVATE_P256_MAGIC;
    blob.header().cbKey = kP256Number;
    std::copy_n(key.publicPoint.begin() + 1, 2 * kP256Number, blob.numbers());
    std::copy(key.privateNumber.begin(), key.privateNumber.end(), blob.numbers() + 2 * kP256Number);

    const Algorithm algorithm = openEcdsaP256();
    BCRYPT_KEY_HANDLE handle = nullptr;
    NTSTATUS status = BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, &handle,
                                          blob.data(), blob.size(), 0);
    if (!BCRYPT_SUCCESS(status)) {
        return std::nullopt;
    }
    const Key imported(handle);

    Sha256 hash;
    hash.update(data.data(), data.size());
    Sha256Digest digest = hash.finish();
    RawSignature signature{};
    ULONG written = 0;
    status = BCryptSignHash(handle, nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                            signature.data(), static_cast<ULONG>(signature.size()), &written, 0);
    if (!BCRYPT_SUCCESS(status)) {
        failStatus(status);
    }
    if (written != signature.size()) {
        throw Failure::of(err::InvalidCall);
    }
    return signature;
}

void writePrivateFile(const std::string& path, std::string_view bytes) {
    // Only the current user may open the key: a protected list with one
    // entry for the user's own account, so that nothing is inherited.
    win32::UniqueHandle token;
    {
        HANDLE raw = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
            failWith(GetLastError());
        }
        token = win32::UniqueHandle(raw);
    }
    const std::vector<BYTE> user = tokenUser(token.get());
    PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    const DWORD aclSize =
        sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
    std::vector<BYTE> aclMemory(aclSize);
    auto* acl = reinterpret_cast<ACL*>(aclMemory.data());
    SECURITY_DESCRIPTOR descriptor{};
    if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        failWith(GetLastError());
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    win32::UniqueHandle file(CreateFileW(win32::wide(path).c_str(), GENERIC_WRITE, 0, &attributes,
                                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        failWith(GetLastError());
    }
    if (bytes.size() > std::numeric_limits<DWORD>::max()) {
        throw Failure::of(err::Overflow);
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        failWith(GetLastError());
    }
    if (written != bytes.size()) {
        // A write to a local file that takes less than it was given ran out of space.
        failWith(ERROR_DISK_FULL);
    }
    if (!FlushFileBuffers(file.get()) || !file.close()) {
        failWith(GetLastError());
    }
}

const char* publisherName() {
    return "Publish.exe";
}

std::optional<std::string> englishSystemMessage(const Failure& failure) {
    // Only a Windows error code has a system text; the updater's own
    // failures are worded by the tool.
    if (failure.origin() != FailureOrigin::Windows) {
        return std::nullopt;
    }
    const auto code = static_cast<std::uint32_t>(failure.number());
    return win32::englishErrorText(code);
}

}  // namespace morvane
