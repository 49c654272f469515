#pragma once

#include <chrono>

#include "platform/platform.h"
#include "platform/run_log.h"
#include "release/limits.h"
#include "update/run_context.h"

namespace morvane {

// One run of the updater: settings, recovery of an interrupted
// installation, revision check, installation, application start. Returns
// the exit status (see ExitStatus). `revisionCheckTime` is the revision
// check's time limit, `lockPatience` how long a run waits for another to
// let the folder lock go; both shorter in tests. A prefetch (`mode`) shows
// no box, installs and starts nothing and keeps no exit status for the next
// request to report.
int Main(Platform& platform, RunLog& log,
         std::chrono::milliseconds revisionCheckTime = kRevisionCheckTime,
         std::chrono::milliseconds lockPatience = kLockPatience, RunMode mode = RunMode::Normal);
int Main(Platform& platform);

// Builds the run over the host's adapters and runs it, with the run log
// Temp\<executable name>.log in the updater's folder, its file system
// patient with virus scanners and its boxes and HTTP logged. Returns the
// exit status.
int runUpdater(Platform& platform, std::chrono::milliseconds revisionCheckTime = kRevisionCheckTime,
               std::chrono::milliseconds lockPatience = kLockPatience,
               RunMode mode = RunMode::Normal);

}  // namespace morvane
