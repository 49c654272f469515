#include "install/installation.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>

#include "base/checked.h"
#include "base/text.h"
#include "download/download_file.h"
#include "install/durable_file.h"
#include "install/patient_file_system.h"
#include "install/prefetch_store.h"
#include "release/limits.h"
#include "release/release_rules.h"

namespace morvane {
namespace {

// Numbered variants of a backup name tried when files are replaced twice
// within one second.
constexpr int kBackupVariants = 1000;

// Makes the renames in the folders of `paths` durable (see
// FileSystem::syncFolder), each folder that exists once.
void syncFoldersOf(FileSystem& files, const std::vector<std::string>& paths) {
    std::set<std::string> folders;
    for (const std::string& path : paths) {
        folders.insert(path.substr(0, path.rfind('\\')));
    }
    for (const std::string& folder : folders) {
        if (files.entryKind(folder)) {
            files.syncFolder(folder);
        }
    }
}

}  // namespace

Installation::Installation(Platform& platform, RunLog& log, InstallFolders folders)
    : platform_(platform), log_(log), messages_(platform.ui), folders_(std::move(folders)) {}

PathClass Installation::pathOf(const std::string& path) {
    PathClass value(platform_.files, platform_.clock);
    value.setFullPath(path);
    return value;
}

bool Installation::RelocateFile(PathClass& source, PathClass& target) {
    try {
        target.CreateFolder();
        platform_.files.moveFile(source.FullPath(), target.FullPath());
        log("Moved " + source.FullPath() + " to " + target.FullPath());
        return true;
    } catch (const Failure& failure) {
        log("Not moved " + source.FullPath() + " to " + target.FullPath() + ": " +
            failure.description());
        return false;
    }
}

std::string Installation::freeBackupName(const std::string& target,
                                         const std::set<std::string>& taken) {
    PathClass stamped = pathOf(target);
    const bool hasExtension = stamped.FullName().find('.') != std::string::npos;
    stamped.AddDateInfo();
    // The counter follows the time: before the extension, or last.
    const std::string name = stamped.FullName();
    const std::size_t dot = hasExtension ? name.rfind('.') : std::string::npos;
    for (int variant = 1; variant <= kBackupVariants; ++variant) {
        PathClass candidate = stamped;
        if (variant > 1) {
            const std::string counter = "_" + decimal(variant);
            candidate.setFullName(dot == std::string::npos
                                      ? name + counter
                                      : name.substr(0, dot) + counter + name.substr(dot));
        }
        if (!taken.contains(candidate.FullPath()) &&
            !pathOf(folders_.backup + candidate.FullPath()).Exists()) {
            return candidate.FullPath();
        }
    }
    throw Failure::of(err::PathAccess);
}

InstallResult Installation::install(const Release& release, const InstallPlan& plan,
                                    std::string_view bytes, ProgressWindow window) {
    platform_.ui.showWaitCursor();
    if (window == ProgressWindow::Shown) {
        try {
            platform_.progress.show(folders_.app + folders_.programName + ".gif");
        } catch (...) {
            // The window is a courtesy; the installation goes on without it.
        }
    }
    try {
        if (exceedsBlockCounter(release)) {
            throw Failure::of(err::Overflow);
        }
        for (const PlannedFile& file : plan.files) {
            if (file.linkInTheWay) {
                log("Refused before anything moved: a link, a junction or no plain file or "
                    "folder is on the way to " +
                    folders_.app + file.target);
                messages_.moveFailed();
                return InstallResult::MoveFailed;
            }
        }
        if (!downloadAll(plan)) {
            discardPending();
            return InstallResult::DownloadFailed;
        }
        if (!newUpdaterCanRun(plan)) {
            discardPending();
            return InstallResult::DownloadFailed;
        }
        if (!filesCanBeReplaced(plan)) {
            log("Installation cancelled before the first move: a file is in use");
            discardPending();
            return InstallResult::InUse;
        }
        // Every new file is on the disk before the journal names its move,
        // all of them in one pass rather than each as it arrived.
        std::vector<std::string> downloads;
        for (const PlannedFile& file : plan.files) {
            if (!file.unchanged) {
                downloads.push_back(file.download);
            }
        }
        platform_.files.flushFiles(downloads);
        // Beside the journal, the description being installed tells the next
        // run that an installation was under way.
        writeDurably(platform_.files, folders_.pending(), bytes);
    } catch (...) {
        discardPending();
        throw;
    }

    // From the first move on, the journal lets this run or the next put
    // every file back; the record names the new release only once the last
    // file is in place. It is on the disk, folder entry and all, before the
    // first move, so that the moves need no step of their own on the disk.
    InstallJournal journal(platform_.files, folders_.journal());
    const auto undo = [&] {
        if (rollBack(journal.entries()) && journal.remove()) {
            discardPending();
        } else {
            log("The journal " + folders_.journal() + " stays for the next run");
        }
    };
    try {
        journal.write(plannedMoves(plan));
        syncFoldersOf(platform_.files, {folders_.journal()});
        if (moveAll(journal.entries())) {
            // The record may say "installed" only once every move is on disk.
            std::vector<std::string> moved;
            for (const JournalEntry& entry : journal.entries()) {
                moved.insert(moved.end(),
                             {folders_.app + entry.target, folders_.backup + entry.backup,
                              folders_.temp + entry.target});
            }
            syncFoldersOf(platform_.files, moved);
            // Written from the bytes that were checked, not from the pending
            // file, which others may write to meanwhile.
            writeDurably(platform_.files, folders_.record, bytes);
            discardPending();
            // A journal that stays behind is dropped by the next run, which
            // finds the record written.
            journal.remove();
            log("Version \"" + release.version + "\" installed");
            keepInStoreOnly(plan);
            return InstallResult::Installed;
        }
    } catch (...) {
        undo();
        throw;
    }
    undo();
    messages_.moveFailed();
    return InstallResult::MoveFailed;
}

void Installation::keepInStoreOnly(const InstallPlan& plan) {
    std::set<std::string> named;
    for (const PlannedFile& file : plan.files) {
        named.insert(file.sha256);
    }
    PrefetchStore(platform_, log_, folders_.store()).keepOnly(named);
}

bool Installation::downloadAll(const InstallPlan& plan) {
    std::int16_t Downloaded = 0;
    PrefetchStore store(platform_, log_, folders_.store(),
                        [this] { platform_.ui.processPendingMessages(); });
    for (const PlannedFile& file : plan.files) {
        UrlClass source;
        source.setFullUrl(file.url);
        PathClass download = pathOf(file.download);
        if (file.unchanged) {
            log("Unchanged, not fetched: " + folders_.app + file.target);
        } else if (file.installable && !file.sha256.empty() &&
                   store.take(file.sha256, file.download)) {
            log("Taken from the prefetch store: " + store.pathOf(file.sha256) + " to " +
                download.FullPath());
        } else if (!file.installable ||
                   !DownloadFile(source, download, platform_.http, platform_.files, platform_.ui,
                                 file.sha256, file.limits, nullptr, FileFlush::ByCaller)) {
            log("Download failed: " + source.FullUrl() + " for \"" + file.target + "\"");
            messages_.downloadFailed();
            return false;
        } else {
            log("Downloaded " + source.FullUrl() + " to " + download.FullPath());
        }
        Downloaded = addInt16(Downloaded, 1);
        const auto fileBlocks = static_cast<double>(plan.files.size());
        platform_.progress.setPercent(static_cast<float>(Downloaded / fileBlocks));
    }
    return true;
}

std::string Installation::selfTestFault(const std::string& program) {
    const auto pump = [this] { platform_.ui.processPendingMessages(); };
    const auto giveUp = std::chrono::steady_clock::now() + kSelfTestPatience;
    for (;;) {
        try {
            const std::optional<int> exitCode =
                platform_.process.runToEnd(program, {"--self-test"}, kSelfTestPatience, pump);
            if (exitCode == 0) {
                return {};
            }
            return exitCode ? "exit code " + decimal(*exitCode)
                            : "no end within " + decimal(kSelfTestPatience.count() / 1000) + " s";
        } catch (const Failure& failure) {
            // A scanner that looks at the fresh program holds it for a
            // moment: its start is tried again within the patience.
            if (!PatientFileSystem::isPassing(failure) ||
                std::chrono::steady_clock::now() >= giveUp) {
                return failure.description() + " (" + decimal(failure.number()) + ")";
            }
            PatientFileSystem::sleep(50);
            pump();
        }
    }
}

bool Installation::newUpdaterCanRun(const InstallPlan& plan) {
    for (const PlannedFile& file : plan.files) {
        if (!file.updatesUpdater || file.unchanged) {
            continue;
        }
        const std::string program = folders_.temp + file.target;
        const std::string fault = selfTestFault(program);
        if (fault.empty()) {
            log("The new updater " + program + " passed its self-test");
            continue;
        }
        std::string line = "The new updater could not start: " + program;
        line += ": " + fault;
        log(line);
        // A program that cannot run is no use to any later run either.
        pathOf(program).Delete();
        messages_.downloadFailed();
        return false;
    }
    return true;
}

bool Installation::filesCanBeReplaced(const InstallPlan& plan) {
    for (const PlannedFile& file : plan.files) {
        // The running updater holds its own program; Windows lets it be
        // renamed all the same.
        if (file.unchanged || file.updatesUpdater) {
            continue;
        }
        while (platform_.files.inUse(folders_.app + file.target)) {
            log("In use by another program: " + folders_.app + file.target);
            if (!messages_.retryFileInUse(file.target)) {
                return false;
            }
        }
    }
    return true;
}

std::vector<JournalEntry> Installation::plannedMoves(const InstallPlan& plan) {
    std::vector<JournalEntry> moves;
    std::set<std::string> taken;
    for (const PlannedFile& file : plan.files) {
        if (!file.unchanged) {
            moves.push_back(JournalEntry{file.target, freeBackupName(file.target, taken)});
            taken.insert(moves.back().backup);
        }
    }
    return moves;
}

bool Installation::moveAll(const std::vector<JournalEntry>& moves) {
    for (const JournalEntry& move : moves) {
        PathClass newFile = pathOf(folders_.temp + move.target);
        PathClass currentFile = pathOf(folders_.app + move.target);
        PathClass backup = pathOf(folders_.backup + move.backup);
        // Hundreds of files on a share take longer than Windows lets a
        // window go without an answer.
        platform_.ui.processPendingMessages();
        if (currentFile.Exists()) {
            RelocateFile(currentFile, backup);
        } else {
            log("New file " + currentFile.FullPath() + ": nothing to back up");
        }
        if (!RelocateFile(newFile, currentFile)) {
            return false;
        }
    }
    return true;
}

bool Installation::rollBack(const std::vector<JournalEntry>& entries) {
    log("Rolling back " + decimal(static_cast<long long>(entries.size())) + " file(s)");
    bool restored = true;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        platform_.ui.processPendingMessages();
        PathClass newFile = pathOf(folders_.temp + entry->target);
        PathClass currentFile = pathOf(folders_.app + entry->target);
        PathClass backup = pathOf(folders_.backup + entry->backup);
        // Every download was in Temp before the first move, so a file in
        // the application's place with none left in Temp is the new one.
        if (!newFile.Exists() && currentFile.Exists() && !RelocateFile(currentFile, newFile)) {
            restored = false;
            continue;
        }
        if (backup.Exists() && !currentFile.Exists() && !RelocateFile(backup, currentFile)) {
            restored = false;
        }
    }
    log(restored ? "Rolled back" : "Roll-back incomplete");
    return restored;
}

bool Installation::recoverInterrupted() {
    PathClass journal = pathOf(folders_.journal());
    if (!journal.Exists()) {
        // A pending description without a journal was never installed from.
        // Its signature stays: it may be the one this run's check just
        // fetched for the installation to come.
        pathOf(folders_.pending()).Delete();
        return true;
    }
    const std::optional<JournalContents> contents =
        readJournal(platform_.files, folders_.journal());
    if (!contents) {
        log("The journal " + folders_.journal() + " of an interrupted installation cannot be read");
        messages_.moveFailed();
        return false;
    }
    if (!pathOf(folders_.pending()).Exists()) {
        // The record was replaced, so the installation had finished; or the
        // bare mark of earlier versions, which replaced the record before
        // their moves: that record is forgotten, so that the update is
        // offered and installed again.
        if (!contents->complete) {
            log("Marker of an interrupted installation: the record is dropped, the update is "
                "offered again");
            pathOf(folders_.record).Delete();
        } else {
            log("The journal of a finished installation is dropped");
        }
        journal.Delete();
        return true;
    }
    const std::optional<std::string> pending =
        readWhole(platform_.files, folders_.pending(), kLargestDescription);
    if (pending && contents->complete &&
        readWhole(platform_.files, folders_.record, kLargestDescription) == pending) {
        // Cut off after the record was written: every file is in place.
        log("The journal of a finished installation is dropped");
        journal.Delete();
        discardPending();
        return true;
    }
    if (signatureCheck_ && !pendingIsSigned(pending)) {
        log("The description " + folders_.pending() +
            " beside the journal is not validly signed; both stay for inspection and nothing "
            "is moved");
        messages_.moveFailed();
        return false;
    }
    if (!keepsToItsJob(contents->entries, pending)) {
        log("The journal " + folders_.journal() +
            " names files its installation would not have moved; it stays for inspection");
        messages_.moveFailed();
        return false;
    }
    // A journal torn in its first line, or a plan cut off before its last,
    // names nothing: no file had moved.
    log("An interrupted installation is put back from its journal " + folders_.journal());
    if (!rollBack(contents->entries) || !journal.Delete()) {
        log("The journal " + folders_.journal() + " stays for the next run");
        messages_.moveFailed();
        return false;
    }
    discardPending();
    return true;
}

bool Installation::keepsToItsJob(const std::vector<JournalEntry>& entries,
                                 const std::optional<std::string>& pending) {
    if (entries.empty()) {
        return true;
    }
    if (!pending) {
        return false;
    }
    std::set<std::string> listed;
    for (const FileEntry& file : parseRelease(*pending).files) {
        listed.insert(file.target);
    }
    return std::all_of(entries.begin(), entries.end(), [&](const JournalEntry& entry) {
        // Recovery checked the signature beside a journal of a signed run.
        return listed.contains(entry.target) &&
               obeysTargetRules(folders_, entry.target, static_cast<bool>(signatureCheck_)) &&
               isDatedBackupName(entry.target, entry.backup);
    });
}

bool Installation::pendingIsSigned(const std::optional<std::string>& pending) {
    const std::optional<std::string> signature =
        readWhole(platform_.files, folders_.pendingSignature(), kLargestSignature);
    return pending && signature && signatureCheck_(*pending, *signature);
}

void Installation::discardPending() {
    pathOf(folders_.pending()).Delete();
    pathOf(folders_.pendingSignature()).Delete();
}

}  // namespace morvane
