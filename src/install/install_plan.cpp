#include "install/install_plan.h"

#include <optional>

#include "install/file_sha256.h"
#include "release/limits.h"
#include "release/release_rules.h"
#include "release/target_rules.h"

namespace morvane {
namespace {

bool hasFolderInTheWay(const InstallFolders& folders, const std::string& target,
                       FileSystem& files) {
    for (const std::string& folder : {folders.app, folders.temp}) {
        if (files.entryKind(folder + target) == EntryKind::Folder) {
            return true;
        }
    }
    return false;
}

bool hasLinkInTheWay(const InstallFolders& folders, const std::string& target, FileSystem& files) {
    for (std::size_t end = target.find_first_of("\\/");;
         end = target.find_first_of("\\/", end + 1)) {
        if (files.isLinkOrDevice(folders.app + target.substr(0, end))) {
            return true;
        }
        if (end == std::string::npos) {
            return false;
        }
    }
}

bool isInstalledAlready(const std::string& installed, const std::string& sha256, FileSystem& files,
                        const std::function<void()>& afterPiece) {
    if (sha256.empty()) {
        return false;
    }
    const std::optional<Sha256Digest> digest = sha256OfFile(files, installed, afterPiece);
    return digest && digest == parseSha256(sha256);
}

}  // namespace

bool obeysTargetRules(const InstallFolders& folders, const std::string& target,
                      bool signedRelease) {
    // The updater may replace itself only with a program the publisher
    // signed for: anyone else who can write the server would own every PC.
    return mayInstallTarget(target, folders.recordName, folders.programName) ||
           (signedRelease && namesUpdaterProgram(target, folders.programFile));
}

InstallPlan planInstallation(const Release& release, const std::string& descriptionUrl,
                             const InstallFolders& folders, bool signedRelease, FileSystem& files,
                             const std::function<void()>& afterPiece) {
    InstallPlan plan;
    for (const FileEntry& entry : release.files) {
        PlannedFile file;
        file.url = fileUrl(descriptionUrl, entry);
        file.target = entry.target;
        file.download = folders.temp + entry.target;
        file.sha256 = entry.sha256.value_or("");
        file.limits.size = entry.size;
        if (!entry.size) {
            file.limits.largest = kLargestUnsizedFile;
        }
        // Without a "Quelle" the URL would name the description's folder.
        file.installable = !entry.source.empty() &&
                           obeysTargetRules(folders, entry.target, signedRelease) &&
                           !hasFolderInTheWay(folders, entry.target, files) &&
                           (entry.sha256 || !signedRelease) && !entry.sizeUnreadable;
        file.updatesUpdater = namesUpdaterProgram(entry.target, folders.programFile);
        file.linkInTheWay = file.installable && hasLinkInTheWay(folders, entry.target, files);
        file.unchanged =
            file.installable && !file.linkInTheWay &&
            isInstalledAlready(folders.app + file.target, file.sha256, files, afterPiece);
        plan.files.push_back(std::move(file));
    }
    return plan;
}

}  // namespace morvane
