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

// The program file of the spreadsheet program found in `excelFolder`.
std::string excelProgram(const std::string& excelFolder);

}  // namespace morvane
