#include "publish/release_staging.h"

#include <random>
#include <set>
#include <stdexcept>
#include <vector>

#include "base/text.h"
#include "publish/folder_walk.h"
#include "publish/host/host_files.h"
#include "publish/local_files.h"
#include "release/release.h"
#include "release/url_encoding.h"

namespace morvane::publish {
namespace {

constexpr const char* kDescription = "revision.ini";

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    return path;
}

// A name of its own for each make, so that nothing of the publisher's is
// ever taken for a leftover.
std::string besideOut(const std::string& out, const std::string& what) {
    std::random_device random;
    static const char* const kHex = "0123456789abcdef";
    std::string suffix;
    for (int i = 0; i < 8; ++i) {
        suffix += kHex[random() & 15];
    }
    return out + "." + what + "-" + suffix;
}

// What lies in `out` that the release there does not list: its description,
// signature and the files its Quelle values name.
std::vector<std::string> foreignEntries(const std::string& out) {
    std::set<std::string> released = {kDescription, std::string(kDescription) + ".sig"};
    if (const auto bytes = readWholeFile(joinPath(out, kDescription))) {
        for (const FileEntry& file : parseRelease(*bytes).files) {
            released.insert(percentDecoded(file.source));
        }
    }
    std::vector<std::string> foreign;
    for (const WalkedEntry& entry : walkFolder(out)) {
        if (entry.kind != WalkedEntry::Kind::File || released.count(entry.relative) == 0) {
            foreign.push_back(entry.relative);
        }
    }
    return foreign;
}

}  // namespace

ReleaseStaging::ReleaseStaging(const std::string& out) : out_(withoutTrailingSeparators(out)) {
    if (isFolder(out_)) {
        const std::vector<std::string> foreign = foreignEntries(out_);
        if (!foreign.empty()) {
            throw std::runtime_error(
                "--out " + out + " holds " + foreign.front() +
                (foreign.size() > 1
                     ? " and " + decimal(static_cast<long long>(foreign.size() - 1)) + " more"
                     : std::string()) +
                " that its release does not list: make replaces the whole folder, so give it one "
                "of its own (new, empty, or written by make)");
        }
    } else if (isRegularFile(out_)) {
        throw std::runtime_error("--out " + out + " is a file, not a folder");
    }
    staging_ = besideOut(out_, "making");
    makeFolders(staging_);
}

ReleaseStaging::~ReleaseStaging() {
    if (!swapped_) {
        try {
            removeTree(staging_);
        } catch (const std::exception&) {
            // What cannot go stays beside --out under its own name.
        }
    }
}

void ReleaseStaging::swapIn() {
    std::string old;
    if (isFolder(out_)) {
        old = besideOut(out_, "replaced");
        renameEntry(out_, old);
    }
    try {
        renameEntry(staging_, out_);
    } catch (const std::exception&) {
        if (!old.empty()) {
            renameEntry(old, out_);
        }
        throw;
    }
    swapped_ = true;
    if (!old.empty()) {
        removeTree(old);
    }
}

}  // namespace morvane::publish
