#pragma once

#include "platform/file_system.h"
#include "platform/http.h"
#include "platform/process.h"
#include "platform/progress_view.h"
#include "platform/spreadsheet.h"
#include "platform/user_interface.h"

namespace morvane {

// Everything the update run needs from the host. The entry point builds the
// real adapters; tests hand in fakes.
struct Platform {
    FileSystem& files;
    Clock& clock;
    UserInterface& ui;
    Process& process;
    Http& http;
    ProgressView& progress;
    SpreadsheetAutomation& spreadsheet;
};

}  // namespace morvane
