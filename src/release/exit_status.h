#pragma once

namespace morvane {

// The updater's exit status: how a run ended, for those who roll it out.
// The next run reports it with its request, where the fleet reads it back.
enum class ExitStatus {
    Done = 0,             // no newer version, or installed
    AnotherInstance = 1,  // another instance was running
    NoSettings = 2,       // no readable settings file, or no usable key in it
    NoDescription = 3,    // the description could not be fetched or was refused
    Declined = 4,         // the user declined the update
    DownloadFailed = 5,   // a file of the update could not be downloaded
    MoveFailed = 6,       // a file could not be moved into place
    Unexpected = 7,       // an unexpected error was reported
};

}  // namespace morvane
