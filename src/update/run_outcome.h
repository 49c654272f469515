#pragma once

#include <string>
#include <variant>

#include "release/release.h"

namespace morvane {

// The updater's exit status: how the run ended, for those who roll it out.
namespace status {
inline constexpr int Done = 0;             // no newer version, or installed
inline constexpr int AnotherInstance = 1;  // another instance was running
inline constexpr int NoSettings = 2;       // no readable settings file
inline constexpr int NoDescription = 3;    // the description could not be fetched
inline constexpr int Declined = 4;         // the user declined the update
inline constexpr int DownloadFailed = 5;   // a file of the update could not be downloaded
inline constexpr int MoveFailed = 6;       // a file could not be moved into place
inline constexpr int Unexpected = 7;       // an unexpected error was reported
}  // namespace status

// How a run, or the phase that ends its updating, ended: the exit status
// and the "Startdatei" of the description the run ended with. An empty one
// leaves the choice to the settings file.
struct RunOutcome {
    int exitStatus = status::Done;
    std::string startFile;
};

// What the user answered to the news of a newer version.
enum class Confirmation {
    None,  // no box ("Msg-Typ" other than "1" and "2"), or a box without answer
    Ok,    // the news was shown and acknowledged
    Yes,   // the update was agreed to
    No,    // the update was declined
};

// Whether an installation shows the progress window: only after the user
// saw the news in a box and confirmed it.
enum class ProgressWindow { Hidden, Shown };

// A confirmed newer version: its description and the progress window that
// follows its confirmation.
struct Update {
    Release Revision;
    ProgressWindow window = ProgressWindow::Hidden;
};

// The revision check either ends the updating (nothing newer, a failure, a
// decline, or an earlier installation that could not be put back) or finds
// an update to install.
using CheckOutcome = std::variant<RunOutcome, Update>;

// How an installation ended. It shows its own message when it stops.
enum class Installation {
    Installed,
    DownloadFailed,  // a file could not be fetched: nothing was moved
    MoveFailed,      // a file was in use or could not be moved: all is put back
};

}  // namespace morvane
