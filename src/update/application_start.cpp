#include "update/application_start.h"

#include "base/command_line.h"
#include "messages/messages.h"
#include "release/target_rules.h"
#include "update/excel_module.h"

namespace morvane {
namespace {

// Starts the spreadsheet program maximized on `file` without waiting.
void StartWithExcel(const std::string& file, Platform& platform, RunLog& log) {
    // The registered server names the program's folder without starting a
    // hidden instance of it; only without one is the automation asked.
    std::string folder = serverFolderOf(platform.spreadsheet.registeredServer());
    if (folder.empty()) {
        folder = GetExcelInfo(platform.spreadsheet, platform.ui).Path;
    }
    const std::string program = excelProgram(folder);
    log.note("Starting " + windowsCommandLine(program, {file}));
    platform.process.start(program, {file});
}

}  // namespace

void chooseAndStartApplication(const RunContext& run, const std::string& startFile,
                               Platform& platform, RunLog& log) {
    PathClass StartFile(platform.files, platform.clock);
    StartFile.setFullPath(startFile.empty() ? run.Settings.startFile : startFile);
    if (StartFile.FullPath().empty()) {
        log.note("No start file named");
        return;
    }
    // The workbook is looked for where it is then started: in the updater's
    // folder, whatever the current folder is, and never outside it.
    PathClass workbook(platform.files, platform.clock);
    workbook.setFullPath(run.AppFolder + StartFile.FullPath());
    if (staysBelowFolder(StartFile.FullPath()) && workbook.Exists()) {
        StartWithExcel(workbook.FullPath(), platform, log);
    } else {
        Messages(platform.ui).startFileMissing(StartFile.FullPath());
    }
}

}  // namespace morvane
