#pragma once

#include <functional>
#include <string>
#include <vector>

#include "download/download_module.h"
#include "install/install_folders.h"
#include "platform/file_system.h"
#include "release/release.h"

namespace morvane {

// One file of a release as the installation handles it, worked out and
// checked once.
struct PlannedFile {
    std::string url;       // its "Quelle" below the description's folder
    std::string target;    // its "Ziel" below the updater's folder, as Windows reads it
    std::string download;  // where it is downloaded to: the same path below Temp
    std::string sha256;    // the digest it must have; "" for none
    DownloadLimits limits;
    // It may be installed: it has a "Quelle", its "Ziel" obeys the rules and
    // no folder is in the way, and its digest and size are usable.
    bool installable = false;
    // Installed already with that digest: neither fetched, moved nor backed up.
    bool unchanged = false;
    // Its "Ziel" is the updater's own program: before anything moves, the
    // new one must show that it can run.
    bool updatesUpdater = false;
    // Its "Ziel", or a folder on the way to it, is a symbolic link, a
    // junction or no plain file or folder: a move would reach outside the
    // updater's folder, so nothing of the release is installed.
    bool linkInTheWay = false;
};

struct InstallPlan {
    std::vector<PlannedFile> files;  // in the release's order
};

// The plan of installing `release`, whose description lies at
// `descriptionUrl`. With `signedRelease` every file must carry a SHA-256.
// `afterPiece` hears of every piece read of an installed file that is
// hashed to find it unchanged.
InstallPlan planInstallation(const Release& release, const std::string& descriptionUrl,
                             const InstallFolders& folders, bool signedRelease, FileSystem& files,
                             const std::function<void()>& afterPiece = {});

// Whether `target` (as Windows reads a "Ziel") obeys the rules for a "Ziel":
// a file below the folder, none of the updater's own files; of a
// `signedRelease`, also the updater's program.
bool obeysTargetRules(const InstallFolders& folders, const std::string& target,
                      bool signedRelease = false);

}  // namespace morvane
