#include <string_view>

#include "platform/checked.h"
#include "update/main_module.h"

namespace morvane {
namespace {

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

// A target below the updater's folder: no root, no drive or stream name, no
// step up. The description comes from a server, so it must not be able to
// place files anywhere else.
bool staysInAppFolder(std::string_view target) {
    if (!target.empty() && (target.front() == '\\' || target.front() == '/')) {
        return false;
    }
    if (target.find(':') != std::string_view::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= target.size()) {
        const std::size_t end = target.find_first_of("\\/", start);
        const std::string_view part = target.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part == "..") {
            return false;
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace

bool MainModule::RelocateFile(PathClass& source, PathClass& target) {
    try {
        target.CreateFolder();
        platform_.files.moveFile(source.FullPath(), target.FullPath());
        Log("Moved " + source.FullPath() + " to " + target.FullPath());
        return true;
    } catch (const Failure& failure) {
        Log("Not moved " + source.FullPath() + " to " + target.FullPath() + ": " +
            failure.description());
        return false;
    }
}

MainModule::Installation MainModule::InstallFiles() {
    platform_.ui.showWaitCursor();
    if (Answer == box::Yes || Answer == box::Ok) {
        try {
            platform_.progress.show(AppFolder + ProgramName + ".gif");
        } catch (...) {
            // The window is a courtesy; the installation goes on without it.
        }
    }
    try {
        if (DownloadAll(toInt16(Revision.BlockCount() - 1LL)) == Installation::Stopped) {
            ForgetRevision();
            return Installation::Stopped;
        }
        // Marks the installation as in progress until the last file is in
        // place, so that a run after a crash offers the update again.
        platform_.files.createNew(InstallMarkerPath())->close();
        if (MoveAll(toInt16(Revision.BlockCount() - 1LL)) == Installation::Stopped) {
            ForgetRevision();
            return Installation::Stopped;
        }
        platform_.files.deleteFile(InstallMarkerPath());
        Log("Version \"" + NewVersion + "\" installed");
    } catch (...) {
        ForgetRevision();
        throw;
    }
    return Installation::Installed;
}

MainModule::Installation MainModule::DownloadAll(std::int16_t lastBlock) {
    for (std::int16_t i = 5; i <= lastBlock; i = addInt16(i, 1)) {
        UrlClass source;
        source.setFullUrl(ServerUrl.Url() + Revision.GetValue(i, "Quelle"));
        const std::string target = Revision.GetValue(i, "Ziel");
        PathClass download = NewPath();
        download.setFullPath(TempFolder + target);
        if (!staysInAppFolder(target) || !DownloadFile(source, download)) {
            ExitStatus = status::DownloadFailed;
            Log("Download failed: " + source.FullUrl() + " for \"" + target + "\"");
            showDownloadError(platform_.ui);
            return Installation::Stopped;
        }
        Log("Downloaded " + source.FullUrl() + " to " + download.FullPath());
        Downloaded = addInt16(Downloaded, 1);
        const double fileBlocks = Revision.BlockCount() - 4.0 - 1.0;
        platform_.progress.setPercent(static_cast<float>(Downloaded / fileBlocks));
    }
    return Installation::Installed;
}

MainModule::Installation MainModule::MoveAll(std::int16_t lastBlock) {
    for (std::int16_t i = 5; i <= lastBlock; i = addInt16(i, 1)) {
        const std::string target = Revision.GetValue(i, "Ziel");
        PathClass newFile = NewPath();
        newFile.setFullPath(TempFolder + target);
        PathClass currentFile = NewPath();
        currentFile.setFullPath(AppFolder + target);
        PathClass backup = NewPath();
        backup.setFullPath(BackupFolder + target);
        backup.AddDateInfo();
        // Fails for a file the application does not have yet; nothing to keep then.
        RelocateFile(currentFile, backup);
        if (!RelocateFile(newFile, currentFile)) {
            ExitStatus = status::MoveFailed;
            showMoveError(platform_.ui);
            return Installation::Stopped;
        }
    }
    return Installation::Installed;
}

void MainModule::ForgetRevision() {
    RevisionPath.Delete();
    PathClass marker = NewPath();
    marker.setFullPath(InstallMarkerPath());
    marker.Delete();
}

}  // namespace morvane
