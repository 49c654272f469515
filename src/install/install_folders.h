#pragma once

#include <string>

namespace morvane {

// The places of an installation in the updater's folder.
struct InstallFolders {
    std::string app;          // the updater's folder, followed by "\"
    std::string temp;         // app + "Temp\": the downloads and the record
    std::string backup;       // app + "Backup\": the replaced files
    std::string record;       // the record: the installed release's description in temp
    std::string recordName;   // the record's file name, the description's on the server
    std::string programName;  // the updater's file name without extension
    std::string programFile;  // the updater's file name as it runs ("Updater.exe")

    // The description being installed, beside the record until it is one.
    std::string pending() const { return record + ".new"; }
    // The pending description's signature, kept beside it in a signed run.
    std::string pendingSignature() const { return pending() + ".sig"; }
    // The journal of an installation in progress.
    std::string journal() const { return record + ".install"; }
    // The prefetch store: files of a newer release fetched ahead of its run.
    std::string store() const { return temp + "Vorrat\\"; }
    // Where a prefetch fetches the description and its signature: never
    // where a run that installs fetches or keeps its own.
    std::string prefetchDescription() const { return store() + recordName + ".new"; }
    std::string prefetchSignature() const { return prefetchDescription() + ".sig"; }
};

}  // namespace morvane
