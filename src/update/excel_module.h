#pragma once

#include <string>
#include <string_view>

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

// The folder of the program in a registered server's command line: the
// quoted path, or the text up to its first argument (" /" or " -"); empty
// unless that is a full path (a drive's or a share's) with a folder.
std::string serverFolderOf(std::string_view command);

// The program file of the spreadsheet program found in `excelFolder`.
std::string excelProgram(const std::string& excelFolder);

}  // namespace morvane
