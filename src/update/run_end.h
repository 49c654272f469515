#pragma once

#include <string>

#include "release/exit_status.h"

namespace morvane {

// How a run ended, told by what happened. The exit status and the workbook
// that is started both follow from it, each in one place.
enum class RunEnd {
    Installed,        // the newer release was installed
    Prefetched,       // the newer release's files are in the prefetch store
    NothingNewer,     // the server's release is not newer than the installed one
    NotYetOffered,    // the newer release is rolled out in stages, not to this PC yet
    AnotherInstance,  // another instance was running
    FolderLocked,     // another run held the folder lock beyond the patience
    NoSettings,       // no readable settings file
    KeyUnusable,      // the settings ask for a key and hold no usable one
    RecoveryFailed,   // an interrupted installation could not be put back
    NotFetched,       // the description could not be fetched, or not in time
    NotSigned,        // the description is not validly signed
    NotARelease,      // the description is no whole release
    Declined,         // the user declined the update
    DownloadFailed,   // a file of the update could not be downloaded
    InUse,            // the user gave up on a file in use
    MoveFailed,       // a file could not be moved into place
    Unexpected,       // an unexpected error was reported
};

ExitStatus exitStatusOf(RunEnd end);

// The cause of an exit status in the words of the run log.
std::string statusCause(ExitStatus status);

// Whether the workbook to start is the one the record names (after the
// run: for an installation the new release's); otherwise the settings
// file's.
bool startsTheRecordsWorkbook(RunEnd end);

}  // namespace morvane
