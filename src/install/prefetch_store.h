#pragma once

#include <functional>
#include <set>
#include <string>

#include "platform/platform.h"
#include "platform/run_log.h"

namespace morvane {

// The prefetch store Temp\Vorrat\: the files of a newer release, fetched
// ahead of the run that installs it, each named by its SHA-256 in lowercase
// hex. A file in it counts only when its bytes have that digest, read
// anew each time it is used: the store is just a folder anyone may write to.
class PrefetchStore {
public:
    // `afterPiece` hears of every piece read while a file is hashed.
    PrefetchStore(Platform& platform, RunLog& log, std::string folder,
                  std::function<void()> afterPiece = {});

    // The stored file's path for `sha256`; "" when that is no SHA-256.
    std::string pathOf(const std::string& sha256) const;
    // True when the store holds a file of `sha256` with that digest; one that
    // does not have it is deleted.
    bool holds(const std::string& sha256);
    // Moves the stored file of `sha256` to `destination` (creating its
    // folder, replacing a file there) when it holds that file; false when
    // not, a file without that digest deleted.
    bool take(const std::string& sha256, const std::string& destination);
    // Deletes every file of the store whose digest is not in `sha256s`.
    // A description a prefetch is checking stays, with its signature.
    void keepOnly(const std::set<std::string>& sha256s);

private:
    Platform& platform_;
    FileSystem& files_;
    RunLog& log_;
    std::string folder_;  // ending in "\"
    std::function<void()> afterPiece_;
};

}  // namespace morvane
