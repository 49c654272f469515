#include "base/command_line.h"
#include "release/target_rules.h"
#include "update/excel_module.h"
#include "update/main_module.h"

namespace morvane {

void MainModule::chooseAndStartApplication(const RunContext& run, const std::string& startFile) {
    PathClass StartFile = newPath();
    StartFile.setFullPath(startFile.empty() ? run.Settings.startFile : startFile);
    if (StartFile.FullPath().empty()) {
        log("No start file named");
        return;
    }
    // The workbook is looked for where it is then started: in the updater's
    // folder, whatever the current folder is, and never outside it.
    PathClass workbook = newPath();
    workbook.setFullPath(run.AppFolder + StartFile.FullPath());
    if (staysBelowFolder(StartFile.FullPath()) && workbook.Exists()) {
        StartWithExcel(workbook.FullPath());
    } else {
        platform_.ui.messageBox(StartFile.FullPath() + " konnte nicht gefunden werden!",
                                box::Exclamation, "Start-Fehler");
    }
}

void MainModule::StartWithExcel(const std::string& file) {
    const ExcelInfo excel = GetExcelInfo(platform_.spreadsheet, platform_.ui);
    const std::string program = excelProgram(excel.Path);
    log("Starting " + windowsCommandLine(program, {file}));
    platform_.process.start(program, {file});
}

}  // namespace morvane
