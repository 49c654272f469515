#pragma once

#include <optional>
#include <string>

#include "base/crypto.h"
#include "install/install_folders.h"
#include "paths/path_class.h"
#include "paths/url_class.h"
#include "release/settings.h"

namespace morvane {

// What a run is for: the normal run the user starts, or a prefetch (started
// with "--prefetch" by a scheduled task), which shows nothing, installs and
// starts nothing and fetches the files of a newer release into the
// prefetch store.
enum class RunMode { Normal, Prefetch };

// What the phases of one run share: the folders and files the frame works
// out at the start, the settings and the publisher's key. The frame forms
// it and passes it to every phase; what a phase finds, it returns.
struct RunContext {
    RunContext(FileSystem& files, Clock& clock) : RevisionPath(files, clock) {}

    std::string programName;   // the executable's file name without extension
    std::string programFile;   // the executable's file name ("Updater.exe")
    std::string computerName;  // the PC's name, as the host tells it
    std::string AppFolder;     // the executable's folder, followed by "\"
    std::string TempFolder;    // AppFolder + "Temp\": the downloads and the record
    std::string BackupFolder;  // AppFolder + "Backup\": the replaced files
    std::string SettingsPath;  // <executable name>.ini beside the executable
    UpdaterSettings Settings;  // empty until the settings file is read
    UrlClass ServerUrl;        // the description's URL, from the settings
    // The record: the copy of the description in TempFolder that names the
    // installed release.
    PathClass RevisionPath;
    // Set by the frame when the settings ask for signed updates.
    std::optional<SignatureKey> publisherKey;
    std::string keyFingerprint;  // the key's, for the log; empty without a key
    RunMode mode = RunMode::Normal;

    InstallFolders installFolders() const {
        return InstallFolders{
            AppFolder,   TempFolder, BackupFolder, RevisionPath.FullPath(), ServerUrl.FullName(),
            programName, programFile};
    }
};

}  // namespace morvane
