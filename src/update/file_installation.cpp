#include <algorithm>
#include <set>

#include "base/checked.h"
#include "base/text.h"
#include "install/file_sha256.h"
#include "install/install_journal.h"
#include "release/release_rules.h"
#include "update/main_module.h"

namespace morvane {
namespace {

// Numbered variants of a backup name tried when files are replaced twice
// within one second.
constexpr int kBackupVariants = 1000;

void showDownloadError(UserInterface& ui) {
    ui.messageBox("Beim Herunterladen trat ein Fehler auf.", box::Critical,
                  "Fehler beim Download einer Datei");
}

void showMoveError(UserInterface& ui) {
    ui.messageBox(
        "Beim Verschieben der Dateien trat ein Fehler auf.\r\n"
        "Bitte prüfen Sie, ob alle Programme geschlossen\r\n"
        "sind und versuchen Sie die Aktualisierung erneut.",
        box::Critical, "Fehler beim Verschieben einer Datei");
}

// Makes the renames in the folders of `paths` durable (see
// FileSystem::syncFolder), each folder that exists once.
void syncFoldersOf(FileSystem& files, const std::vector<std::string>& paths) {
    std::set<std::string> folders;
    for (const std::string& path : paths) {
        folders.insert(path.substr(0, path.rfind('\\')));
    }
    for (const std::string& folder : folders) {
        if (files.attributes(folder)) {
            files.syncFolder(folder);
        }
    }
}

box::Answer askToCloseProgram(UserInterface& ui, const std::string& target) {
    return ui.messageBox("Die Datei " + target +
                             " wird gerade von einem anderen Programm verwendet.\r\n"
                             "Bitte schließen Sie das Programm und wählen Sie „Wiederholen“.",
                         box::RetryCancelWarning, "Datei in Verwendung");
}

}  // namespace

bool MainModule::RelocateFile(PathClass& source, PathClass& target) {
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

std::string MainModule::freshRevisionPath(const RunContext& run) {
    return run.RevisionPath.FullPath() + ".new";
}

std::string MainModule::journalPath(const RunContext& run) {
    return run.RevisionPath.FullPath() + ".install";
}

bool MainModule::exists(const std::string& path) {
    PathClass value = newPath();
    value.setFullPath(path);
    return value.Exists();
}

bool MainModule::obeysTargetRules(const RunContext& run, const std::string& target) {
    return mayInstallTarget(target, run.ServerUrl.FullName(), run.programName);
}

bool MainModule::isInstallableTarget(const RunContext& run, const std::string& target) {
    if (!obeysTargetRules(run, target)) {
        return false;
    }
    for (const std::string& folder : {run.AppFolder, run.TempFolder}) {
        const std::optional<std::uint32_t> bits = platform_.files.attributes(folder + target);
        if (bits && (*bits & attr::Folder) != 0) {
            return false;
        }
    }
    return true;
}

std::string MainModule::freeBackupName(const RunContext& run, const std::string& target) {
    PathClass stamped = newPath();
    stamped.setFullPath(target);
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
        if (!exists(run.BackupFolder + candidate.FullPath())) {
            return candidate.FullPath();
        }
    }
    throw Failure::of(err::PathAccess);
}

Installation MainModule::installFiles(const RunContext& run, const Update& update) {
    const Release& Revision = update.Revision;
    UnchangedBlocks unchanged;
    platform_.ui.showWaitCursor();
    if (update.window == ProgressWindow::Shown) {
        try {
            platform_.progress.show(run.AppFolder + run.programName + ".gif");
        } catch (...) {
            // The window is a courtesy; the installation goes on without it.
        }
    }
    try {
        if (exceedsBlockCounter(Revision)) {
            throw Failure::of(err::Overflow);
        }
        if (!downloadAll(run, Revision, unchanged)) {
            discardFreshRevision(run);
            return Installation::DownloadFailed;
        }
        if (!filesCanBeReplaced(run, Revision, unchanged)) {
            log("Installation cancelled before the first move: a file is in use");
            discardFreshRevision(run);
            return Installation::MoveFailed;
        }
    } catch (...) {
        discardFreshRevision(run);
        throw;
    }

    // From the first move on, the journal lets this run or the next put
    // every file back; the fresh description becomes the record only once
    // the last file is in place.
    InstallJournal journal(platform_.files, journalPath(run));
    const auto undo = [&] {
        if (rollBack(run, journal.entries()) && journal.remove()) {
            discardFreshRevision(run);
        } else {
            log("The journal " + journalPath(run) + " stays for the next run");
        }
    };
    try {
        journal.begin();
        syncFoldersOf(platform_.files, {journalPath(run)});
        if (moveAll(run, Revision, unchanged, journal)) {
            // The record may say "installed" only once every move is on disk.
            std::vector<std::string> moved;
            for (const JournalEntry& entry : journal.entries()) {
                moved.insert(moved.end(),
                             {run.AppFolder + entry.target, run.BackupFolder + entry.backup,
                              run.TempFolder + entry.target});
            }
            syncFoldersOf(platform_.files, moved);
            platform_.files.replaceFile(freshRevisionPath(run), run.RevisionPath.FullPath());
            syncFoldersOf(platform_.files, {run.RevisionPath.FullPath()});
            // A journal that stays behind is dropped by the next run, which
            // finds no fresh description beside it.
            journal.remove();
            log("Version \"" + Revision.version + "\" installed");
            return Installation::Installed;
        }
    } catch (...) {
        undo();
        throw;
    }
    undo();
    showMoveError(platform_.ui);
    return Installation::MoveFailed;
}

bool MainModule::fileSize(const FileEntry& file, DownloadLimits& limits) {
    limits.size = file.size;
    return !file.sizeUnreadable;
}

bool MainModule::downloadAll(const RunContext& run, const Release& Revision,
                             UnchangedBlocks& unchanged) {
    std::int16_t Downloaded = 0;
    for (const FileEntry& file : Revision.files) {
        UrlClass source;
        source.setFullUrl(fileUrl(run.ServerUrl.FullUrl(), file));
        const std::string target = file.target;
        PathClass download = newPath();
        download.setFullPath(run.TempFolder + target);
        const std::optional<std::string> sha256 = fileSha256(run, file);
        DownloadLimits limits;
        // Without a "Quelle" the URL would name the description's folder.
        const bool installable = !file.source.empty() && isInstallableTarget(run, target) &&
                                 sha256 && fileSize(file, limits);
        if (installable && isInstalledAlready(run, target, *sha256)) {
            unchanged.insert(file.position);
            log("Unchanged, not fetched: " + run.AppFolder + target);
        } else if (!installable || !DownloadFile(source, download, *sha256, limits)) {
            log("Download failed: " + source.FullUrl() + " for \"" + target + "\"");
            showDownloadError(platform_.ui);
            return false;
        } else {
            log("Downloaded " + source.FullUrl() + " to " + download.FullPath());
        }
        Downloaded = addInt16(Downloaded, 1);
        const auto fileBlocks = static_cast<double>(Revision.files.size());
        platform_.progress.setPercent(static_cast<float>(Downloaded / fileBlocks));
    }
    return true;
}

bool MainModule::isInstalledAlready(const RunContext& run, const std::string& target,
                                    const std::string& sha256) {
    if (sha256.empty()) {
        return false;
    }
    const std::optional<Sha256Digest> installed =
        sha256OfFile(platform_.files, run.AppFolder + target);
    return installed && installed == parseSha256(sha256);
}

bool MainModule::filesCanBeReplaced(const RunContext& run, const Release& Revision,
                                    const UnchangedBlocks& unchanged) {
    for (const FileEntry& file : Revision.files) {
        if (unchanged.contains(file.position)) {
            continue;
        }
        const std::string target = file.target;
        while (platform_.files.inUse(run.AppFolder + target)) {
            log("In use by another program: " + run.AppFolder + target);
            if (askToCloseProgram(platform_.ui, target) != box::Retry) {
                return false;
            }
        }
    }
    return true;
}

bool MainModule::moveAll(const RunContext& run, const Release& Revision,
                         const UnchangedBlocks& unchanged, InstallJournal& journal) {
    for (const FileEntry& file : Revision.files) {
        if (unchanged.contains(file.position)) {
            continue;
        }
        const std::string target = file.target;
        const std::string backupName = freeBackupName(run, target);
        journal.record(JournalEntry{target, backupName});
        PathClass newFile = newPath();
        newFile.setFullPath(run.TempFolder + target);
        PathClass currentFile = newPath();
        currentFile.setFullPath(run.AppFolder + target);
        PathClass backup = newPath();
        backup.setFullPath(run.BackupFolder + backupName);
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

bool MainModule::rollBack(const RunContext& run, const std::vector<JournalEntry>& entries) {
    log("Rolling back " + decimal(static_cast<long long>(entries.size())) + " file(s)");
    bool restored = true;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        platform_.ui.processPendingMessages();
        PathClass newFile = newPath();
        newFile.setFullPath(run.TempFolder + entry->target);
        PathClass currentFile = newPath();
        currentFile.setFullPath(run.AppFolder + entry->target);
        PathClass backup = newPath();
        backup.setFullPath(run.BackupFolder + entry->backup);
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

bool MainModule::recoverInterruptedInstallation(const RunContext& run) {
    PathClass journal = newPath();
    journal.setFullPath(journalPath(run));
    if (!journal.Exists()) {
        // A fresh description without a journal was never installed from.
        discardFreshRevision(run);
        return true;
    }
    const std::optional<JournalContents> contents = readJournal(platform_.files, journalPath(run));
    if (!contents) {
        log("The journal " + journalPath(run) + " of an interrupted installation cannot be read");
        showMoveError(platform_.ui);
        return false;
    }
    if (!exists(freshRevisionPath(run))) {
        // The record was replaced, so the installation had finished; or the
        // bare mark of earlier versions, which replaced the record before
        // their moves: that record is forgotten, so that the update is
        // offered and installed again.
        if (!contents->complete) {
            log("Marker of an interrupted installation: the record is dropped, the update is "
                "offered again");
            PathClass record = run.RevisionPath;
            record.Delete();
        } else {
            log("The journal of a finished installation is dropped");
        }
        journal.Delete();
        return true;
    }
    if (!keepsToItsJob(run, contents->entries)) {
        log("The journal " + journalPath(run) +
            " names files its installation would not have moved; it stays for inspection");
        showMoveError(platform_.ui);
        return false;
    }
    // A journal torn in its first line names nothing: no file had moved.
    log("An interrupted installation is put back from its journal " + journalPath(run));
    if (!rollBack(run, contents->entries) || !journal.Delete()) {
        log("The journal " + journalPath(run) + " stays for the next run");
        showMoveError(platform_.ui);
        return false;
    }
    discardFreshRevision(run);
    return true;
}

bool MainModule::keepsToItsJob(const RunContext& run, const std::vector<JournalEntry>& entries) {
    if (entries.empty()) {
        return true;
    }
    const std::optional<Release> pending = readReleaseFile(freshRevisionPath(run));
    if (!pending) {
        return false;
    }
    std::set<std::string> listed;
    for (const FileEntry& file : pending->files) {
        listed.insert(file.target);
    }
    return std::all_of(entries.begin(), entries.end(), [&](const JournalEntry& entry) {
        return listed.contains(entry.target) && obeysTargetRules(run, entry.target) &&
               isDatedBackupName(entry.target, entry.backup);
    });
}

void MainModule::discardFreshRevision(const RunContext& run) {
    PathClass fresh = newPath();
    fresh.setFullPath(freshRevisionPath(run));
    fresh.Delete();
}

}  // namespace morvane
