#include "install/prefetch_store.h"

#include <optional>
#include <utility>

#include "base/crypto.h"
#include "base/failure.h"
#include "install/file_sha256.h"
#include "paths/path_class.h"

namespace morvane {
namespace {

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

PrefetchStore::PrefetchStore(Platform& platform, RunLog& log, std::string folder,
                             std::function<void()> afterPiece)
    : platform_(platform),
      files_(platform.files),
      log_(log),
      folder_(std::move(folder)),
      afterPiece_(std::move(afterPiece)) {}

std::string PrefetchStore::pathOf(const std::string& sha256) const {
    const std::optional<Sha256Digest> digest = parseSha256(sha256);
    return digest ? folder_ + toHex(*digest) : std::string();
}

bool PrefetchStore::holds(const std::string& sha256) {
    const std::string path = pathOf(sha256);
    if (path.empty() || files_.entryKind(path) != EntryKind::File || files_.isLinkOrDevice(path)) {
        return false;
    }
    const std::optional<Sha256Digest> digest = sha256OfFile(files_, path, afterPiece_);
    if (digest && digest == parseSha256(sha256)) {
        return true;
    }
    log_.note("Prefetch store: " + path + " does not have its SHA256: deleted");
    try {
        files_.deleteFile(path);
    } catch (const Failure& failure) {
        log_.note("Prefetch store: " + path + " not deleted: " + failure.description());
    }
    return false;
}

bool PrefetchStore::take(const std::string& sha256, const std::string& destination) {
    if (!holds(sha256)) {
        return false;
    }
    const std::string source = pathOf(sha256);
    try {
        PathClass target(files_, platform_.clock);
        target.setFullPath(destination);
        target.CreateFolder();
        files_.replaceFile(source, destination);
        return true;
    } catch (const Failure& failure) {
        log_.note("Prefetch store: " + source + " not moved to " + destination + ": " +
                  failure.description());
        return false;
    }
}

void PrefetchStore::keepOnly(const std::set<std::string>& sha256s) {
    std::set<std::string> kept;
    for (const std::string& sha256 : sha256s) {
        kept.insert(pathOf(sha256));
    }
    for (const std::string& name : files_.fileNamesIn(folder_)) {
        if (kept.contains(folder_ + name) || endsWith(name, ".new") || endsWith(name, ".sig")) {
            continue;
        }
        try {
            files_.deleteFile(folder_ + name);
            log_.note("Prefetch store: " + folder_ + name + " deleted: no file of the release");
        } catch (const Failure& failure) {
            log_.note("Prefetch store: " + folder_ + name +
                      " not deleted: " + failure.description());
        }
    }
}

}  // namespace morvane
