#include "platform/checked.h"
#include "platform/text.h"
#include "update/install_journal.h"
#include "update/main_module.h"
#include "update/target_rules.h"

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

int askToCloseProgram(UserInterface& ui, const std::string& target) {
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

std::string MainModule::freshRevisionPath() const {
    return RevisionPath.FullPath() + ".new";
}

std::string MainModule::journalPath() const {
    return RevisionPath.FullPath() + ".install";
}

bool MainModule::exists(const std::string& path) {
    PathClass value = newPath();
    value.setFullPath(path);
    return value.Exists();
}

bool MainModule::isInstallableTarget(const std::string& target) {
    if (!namesFileBelowFolder(target)) {
        return false;
    }
    if (namesUpdaterOwnFile(target, ServerUrl.FullName(), programName_)) {
        return false;
    }
    for (const std::string& folder : {AppFolder, TempFolder}) {
        const std::optional<std::uint32_t> bits = platform_.files.attributes(folder + target);
        if (bits && (*bits & attr::Folder) != 0) {
            return false;
        }
    }
    return true;
}

std::string MainModule::freeBackupName(const std::string& target) {
    PathClass stamped = newPath();
    stamped.setFullPath(target);
    stamped.AddDateInfo();
    const std::string name = stamped.FullName();
    const std::size_t dot = name.rfind('.');
    for (int variant = 1; variant <= kBackupVariants; ++variant) {
        PathClass candidate = stamped;
        if (variant > 1) {
            const std::string counter = "_" + decimal(variant);
            candidate.setFullName(dot == std::string::npos
                                      ? name + counter
                                      : name.substr(0, dot) + counter + name.substr(dot));
        }
        if (!exists(BackupFolder + candidate.FullPath())) {
            return candidate.FullPath();
        }
    }
    throw Failure::of(err::PathAccess);
}

MainModule::Installation MainModule::installFiles(ProgressWindow window) {
    platform_.ui.showWaitCursor();
    if (window == ProgressWindow::Shown) {
        try {
            platform_.progress.show(AppFolder + programName_ + ".gif");
        } catch (...) {
            // The window is a courtesy; the installation goes on without it.
        }
    }
    try {
        if (downloadAll(toInt16(Revision.BlockCount() - 1LL)) == Installation::Stopped) {
            discardFreshRevision();
            return Installation::Stopped;
        }
        if (!filesCanBeReplaced(toInt16(Revision.BlockCount() - 1LL))) {
            exitStatus_ = status::MoveFailed;
            log("Installation cancelled before the first move: a file is in use");
            discardFreshRevision();
            return Installation::Stopped;
        }
    } catch (...) {
        discardFreshRevision();
        throw;
    }

    // From the first move on, the journal lets this run or the next put
    // every file back; the fresh description becomes the record only once
    // the last file is in place.
    InstallJournal journal(platform_.files, journalPath());
    const auto undo = [&] {
        if (rollBack(journal.entries()) && journal.remove()) {
            discardFreshRevision();
        } else {
            log("The journal " + journalPath() + " stays for the next run");
        }
    };
    try {
        journal.begin();
        if (moveAll(toInt16(Revision.BlockCount() - 1LL), journal) == Installation::Installed) {
            platform_.files.replaceFile(freshRevisionPath(), RevisionPath.FullPath());
            // A journal that stays behind is dropped by the next run, which
            // finds no fresh description beside it.
            journal.remove();
            log("Version \"" + NewVersion + "\" installed");
            return Installation::Installed;
        }
    } catch (...) {
        undo();
        throw;
    }
    exitStatus_ = status::MoveFailed;
    undo();
    showMoveError(platform_.ui);
    return Installation::Stopped;
}

bool MainModule::fileSize(std::int16_t block, DownloadLimits& limits) const {
    const std::string size = Revision.GetValue(block, "Größe");
    if (size.empty()) {
        return true;
    }
    limits.size = decimalNumber(size);
    return limits.size.has_value();
}

MainModule::Installation MainModule::downloadAll(std::int16_t lastBlock) {
    for (std::int16_t i = 5; i <= lastBlock; i = addInt16(i, 1)) {
        UrlClass source;
        source.setFullUrl(ServerUrl.Url() + Revision.GetValue(i, "Quelle"));
        const std::string target = Revision.GetValue(i, "Ziel");
        PathClass download = newPath();
        download.setFullPath(TempFolder + target);
        const std::optional<std::string> sha256 = fileSha256(i);
        DownloadLimits limits;
        if (!isInstallableTarget(target) || !sha256 || !fileSize(i, limits) ||
            !DownloadFile(source, download, *sha256, limits)) {
            exitStatus_ = status::DownloadFailed;
            log("Download failed: " + source.FullUrl() + " for \"" + target + "\"");
            showDownloadError(platform_.ui);
            return Installation::Stopped;
        }
        log("Downloaded " + source.FullUrl() + " to " + download.FullPath());
        Downloaded = addInt16(Downloaded, 1);
        const double fileBlocks = Revision.BlockCount() - 4.0 - 1.0;
        platform_.progress.setPercent(static_cast<float>(Downloaded / fileBlocks));
    }
    return Installation::Installed;
}

bool MainModule::filesCanBeReplaced(std::int16_t lastBlock) {
    for (std::int16_t i = 5; i <= lastBlock; i = addInt16(i, 1)) {
        const std::string target = Revision.GetValue(i, "Ziel");
        while (platform_.files.inUse(AppFolder + target)) {
            log("In use by another program: " + AppFolder + target);
            if (askToCloseProgram(platform_.ui, target) != box::Retry) {
                return false;
            }
        }
    }
    return true;
}

MainModule::Installation MainModule::moveAll(std::int16_t lastBlock, InstallJournal& journal) {
    for (std::int16_t i = 5; i <= lastBlock; i = addInt16(i, 1)) {
        const std::string target = Revision.GetValue(i, "Ziel");
        const std::string backupName = freeBackupName(target);
        journal.record(JournalEntry{target, backupName});
        PathClass newFile = newPath();
        newFile.setFullPath(TempFolder + target);
        PathClass currentFile = newPath();
        currentFile.setFullPath(AppFolder + target);
        PathClass backup = newPath();
        backup.setFullPath(BackupFolder + backupName);
        // Fails for a file the application does not have yet; nothing to keep then.
        RelocateFile(currentFile, backup);
        if (!RelocateFile(newFile, currentFile)) {
            return Installation::Stopped;
        }
    }
    return Installation::Installed;
}

bool MainModule::rollBack(const std::vector<JournalEntry>& entries) {
    log("Rolling back " + decimal(static_cast<long long>(entries.size())) + " file(s)");
    bool restored = true;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        PathClass newFile = newPath();
        newFile.setFullPath(TempFolder + entry->target);
        PathClass currentFile = newPath();
        currentFile.setFullPath(AppFolder + entry->target);
        PathClass backup = newPath();
        backup.setFullPath(BackupFolder + entry->backup);
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

bool MainModule::recoverInterruptedInstallation() {
    PathClass journal = newPath();
    journal.setFullPath(journalPath());
    if (!journal.Exists()) {
        // A fresh description without a journal was never installed from.
        discardFreshRevision();
        return true;
    }
    const std::optional<JournalContents> contents = readJournal(platform_.files, journalPath());
    if (!contents) {
        log("The journal " + journalPath() + " of an interrupted installation cannot be read");
        showMoveError(platform_.ui);
        return false;
    }
    if (!exists(freshRevisionPath())) {
        // The record was replaced, so the installation had finished; or the
        // bare mark of earlier versions, which replaced the record before
        // their moves: that record is forgotten, so that the update is
        // offered and installed again.
        if (!contents->complete) {
            log("Marker of an interrupted installation: the record is dropped, the update is "
                "offered again");
            RevisionPath.Delete();
        } else {
            log("The journal of a finished installation is dropped");
        }
        journal.Delete();
        return true;
    }
    // A journal torn in its first line names nothing: no file had moved.
    log("An interrupted installation is put back from its journal " + journalPath());
    if (!rollBack(contents->entries) || !journal.Delete()) {
        log("The journal " + journalPath() + " stays for the next run");
        showMoveError(platform_.ui);
        return false;
    }
    discardFreshRevision();
    return true;
}

void MainModule::discardFreshRevision() {
    PathClass fresh = newPath();
    fresh.setFullPath(freshRevisionPath());
    fresh.Delete();
}

}  // namespace morvane
