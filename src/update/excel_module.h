#pragma once

#include <string>

#include "platform/spreadsheet.h"
#include "platform/user_interface.h"

namespace morvane {

struct ExcelInfo {
    float Version = 0;
    // Folder of the program file without a trailing "\"; empty when the
    // spreadsheet program could not be reached.
    std::string Path;
};

// Asks the spreadsheet program's automation object for its version and
// folder. A failure shows "Fehler <number>" with its description and returns
// what was filled in so far; it never passes up.
ExcelInfo GetExcelInfo(SpreadsheetAutomation& automation, UserInterface& ui);

// The command line that opens `workbook` in the program found in `excelFolder`.
// Both parts are quoted, so a folder with blanks cannot start another program.
std::string ExcelCommandLine(const std::string& excelFolder, const std::string& workbook);

}  // namespace morvane
