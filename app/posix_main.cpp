// Entry point of the native build: the same update run over POSIX adapters,
// with the same exit status.
#include <string>
#include <vector>

#include "base/command_line.h"
#include "platform/posix/curl_http.h"
#include "platform/posix/file_system.h"
#include "platform/posix/process.h"
#include "platform/posix/progress_bar.h"
#include "platform/posix/spreadsheet_automation.h"
#include "platform/posix/user_interface.h"
#include "update/run_end.h"
#include "update/self_test.h"
#include "update/update_run.h"

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        if (morvane::hasOption(arguments, "--self-test")) {
            morvane::posix::PosixProcess process;
            return morvane::selfTest(process);
        }
        const morvane::RunMode mode = morvane::hasOption(arguments, "--prefetch")
                                          ? morvane::RunMode::Prefetch
                                          : morvane::RunMode::Normal;
        morvane::posix::PosixFileSystem files;
        morvane::posix::PosixClock clock;
        morvane::posix::TerminalUserInterface ui;
        morvane::posix::PosixProcess process;
        morvane::posix::CurlHttp http(morvane::updaterUserAgent(process.fileVersion()));
        morvane::posix::TerminalProgressBar progress;
        morvane::posix::CalcSpreadsheetAutomation spreadsheet;
        morvane::Platform platform{files, clock, ui, process, http, progress, spreadsheet};
        return morvane::runUpdater(platform, morvane::kRevisionCheckTime, morvane::kLockPatience,
                                   mode);
    } catch (...) {
        return static_cast<int>(morvane::ExitStatus::Unexpected);
    }
}
