#include "update/signature_check.h"

#include "download/download_file.h"
#include "install/durable_file.h"
#include "release/limits.h"

namespace morvane {

PublisherKey publisherKeyOf(const UpdaterSettings& settings) {
    PublisherKey publisher;
    publisher.required = settings.signatureRequired;
    if (publisher.required) {
        publisher.key = SignatureKey::fromBase64(settings.signatureKey);
    }
    return publisher;
}

std::string keyFingerprint(std::string_view base64) {
    Sha256 hash;
    hash.update(base64.data(), base64.size());
    return toHex(hash.finish()).substr(0, 16);
}

bool isSignedByPublisher(const RunContext& run, std::string_view description,
                         std::chrono::steady_clock::time_point deadline, Platform& platform,
                         Messages& messages) {
    UrlClass signatureUrl;
    signatureUrl.setFullUrl(run.ServerUrl.FullUrl() + ".sig");
    PathClass signaturePath(platform.files, platform.clock);
    signaturePath.setFullPath(run.mode == RunMode::Prefetch
                                  ? run.installFolders().prefetchSignature()
                                  : run.installFolders().pendingSignature());
    DownloadLimits limits;
    limits.largest = kLargestSignature;
    limits.deadline = deadline;
    bool valid = false;
    if (DownloadFile(signatureUrl, signaturePath, platform.http, platform.files, platform.ui, "",
                     limits)) {
        const auto signature =
            readWhole(platform.files, signaturePath.FullPath(), kLargestSignature);
        valid = signature && run.publisherKey->verifies(description, *signature);
        // A valid signature stays beside the description being installed,
        // so that recovery can tell a forged one; the installation or the
        // next run removes it.
        if (!valid || run.mode == RunMode::Prefetch) {
            signaturePath.Delete();
        }
    }
    if (!valid && std::chrono::steady_clock::now() < deadline) {
        messages.notValidlySigned();
    }
    return valid;
}

}  // namespace morvane
