#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/spreadsheet.h"

namespace morvane::posix {

// LibreOffice Calc standing in for the spreadsheet program on hosts without
// it. An "instance" only confirms that Calc is installed; nothing is launched
// until the workbook is started.
//
// The updater starts "<Path>\EXCEL.EXE" with the workbook, so path() names the
// bridge folder: it holds an executable EXCEL.EXE (tools/posix/EXCEL.EXE,
// copied into the build tree by CMake) that opens the workbook in Calc, found
// the same way as create() finds it.
//
// create() throws Failure 429 "Objekterstellung durch ActiveX-Komponente nicht
// möglich" when no Calc program is found, like a missing program on Windows,
// and the failure for the OS error when the bridge's EXCEL.EXE is missing or
// not executable. version() is "16.0", the automation version the
// application's workbook is written for; Calc's own numbering means nothing to
// it. path() is the bridge folder as a Windows path (Z:\...).
class CalcSpreadsheetAutomation final : public SpreadsheetAutomation {
public:
    // The bridge folder built into the program.
    CalcSpreadsheetAutomation();
    // A bridge folder of the caller's choice (host path).
    explicit CalcSpreadsheetAutomation(std::string bridgeFolder);

    std::unique_ptr<SpreadsheetInstance> create() override;

private:
    std::string bridgeFolder_;
};

// The Calc program for a search path in PATH syntax: the first of "localc",
// "libreoffice" and "soffice" (in this order of preference, each searched
// through the whole path) that is an executable file, else LibreOffice's
// usual /usr/lib/libreoffice/program/soffice when that is one. An empty entry
// of the search path is the current folder. nullopt when none is found.
std::optional<std::string> findCalcProgram(std::string_view searchPath);

}  // namespace morvane::posix
