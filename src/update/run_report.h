#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace morvane {

// What every request of a run tells the server, so that the server's access
// log shows where each PC stands:
// "Morvane-Updater/<file version> (Revision <installed revision or ->;
// Status <previous run's exit status or ->; PC <computer name>)".
struct RunReport {
    std::string fileVersion;
    std::optional<std::string> installedRevision;
    std::optional<int> previousStatus;
    std::string computerName;
    bool anonymous = false;  // the PC is named by the first 8 hex digits of its name's SHA-256
};
std::string userAgentOf(const RunReport& report);

// The exit status a run left in `path`; nullopt when there is none.
std::optional<int> readPreviousStatus(FileSystem& files, const std::string& path);
// Leaves `status` in `path` for the next run, when the folder exists; a
// failure is dropped: the report is a courtesy.
void keepStatus(FileSystem& files, const std::string& path, int status);

}  // namespace morvane
