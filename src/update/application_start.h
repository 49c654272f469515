#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/run_log.h"
#include "update/run_context.h"

namespace morvane {

// Application start, closing step 2: the workbook `startFile` names, or
// else the settings file's, started with the spreadsheet program
// maximized; the message that it is missing when it is not in the
// updater's folder. A failing start passes up.
void chooseAndStartApplication(const RunContext& run, const std::string& startFile,
                               Platform& platform, RunLog& log);

}  // namespace morvane
