#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// The Windows command line that starts `program` with `arguments`: every part
// in quotation marks, separated by single blanks, so that a program folder
// with blanks starts no other program and a workbook path with blanks arrives
// as one argument ("C:\Office\EXCEL.EXE" "C:\App\Neue Mappe.xlsx"). Inside an
// argument, quotation marks and the backslashes before one (or before the
// closing mark) are escaped as the C runtime reads them back; a program path
// holds no quotation marks and is taken as written.
std::string windowsCommandLine(const std::string& program,
                               const std::vector<std::string>& arguments);

// Whether `path` names its place in full: a drive letter, ":" and a
// separator, or a share ("\\\\server..."). A program is started only by such
// a path, never relative to the current drive or folder.
bool isFullWindowsPath(std::string_view path);

// Whether the updater's command line `arguments` (the program's own name
// not among them) hold `option`, such as "--prefetch", in any case. Other
// arguments are ignored.
bool hasOption(const std::vector<std::string>& arguments, std::string_view option);

}  // namespace morvane
