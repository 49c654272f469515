// The signed-update checks of the update run: the publisher's key from the
// settings file, the signature of a fresh revision description, and the
// SHA-256 that each file block must carry when a key is given.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "base/crypto.h"
#include "base/text.h"
#include "update/main_module.h"

namespace morvane {
namespace {

// The whole file as bytes; empty when it cannot be read or is too large.
std::optional<std::string> readBytes(FileSystem& files, const std::string& path,
                                     std::int64_t largest) {
    try {
        const std::unique_ptr<ReadableFile> file = files.openForReading(path, 2);
        const std::int64_t size = file->size();
        if (size < 0 || size > largest) {
            return std::nullopt;
        }
        std::string bytes(static_cast<std::size_t>(size), '\0');
        if (file->read(bytes.data(), bytes.size()) != bytes.size()) {
            return std::nullopt;
        }
        return bytes;
    } catch (const Failure&) {
        return std::nullopt;
    }
}

}  // namespace

bool MainModule::readPublisherKey(RunContext& run) {
    // A settings file that asks for signed updates in any way needs a usable
    // key: without one the update stops rather than silently turning the
    // checks off.
    if (!run.Settings.signatureRequired) {
        return true;
    }
    run.publisherKey = SignatureKey::fromBase64(run.Settings.signatureKey);
    if (!run.publisherKey) {
        platform_.ui.messageBox(
            "Der Signaturschlüssel in " + run.programName + ".ini ist ungültig.", box::Critical,
            "Fehler");
        return false;
    }
    return true;
}

bool MainModule::isSignedByPublisher(const RunContext& run, const PathClass& description,
                                     Deadline deadline) {
    UrlClass signatureUrl;
    signatureUrl.setFullUrl(run.ServerUrl.FullUrl() + ".sig");
    PathClass signaturePath = newPath();
    signaturePath.setFullPath(description.FullPath() + ".sig");
    bool valid = false;
    if (DownloadFile(signatureUrl, signaturePath, "",
                     revisionCheckLimits(kLargestSignature, deadline))) {
        const auto signature =
            readBytes(platform_.files, signaturePath.FullPath(), kLargestSignature);
        const auto text = readBytes(platform_.files, description.FullPath(), kLargestDescription);
        valid = signature && text && run.publisherKey->verifies(*text, *signature);
        signaturePath.Delete();
    }
    // Out of time, the server counts as unreachable: no refusal to show.
    if (!valid && !hasPassed(deadline)) {
        platform_.ui.messageBox(
            "Die Beschreibung der neuen Version ist nicht gültig signiert.\r\n"
            "Die Aktualisierung wird nicht durchgeführt.",
            box::Critical, "Fehler");
    }
    return valid;
}

std::optional<std::string> MainModule::fileSha256(const RunContext& run, const FileEntry& file) {
    if (!file.sha256 && run.publisherKey) {
        return std::nullopt;
    }
    return file.sha256.value_or("");
}

}  // namespace morvane
