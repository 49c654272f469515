// The command line a started program gets on Windows.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"

namespace morvane {
namespace {

struct Case {
    std::string program;
    std::vector<std::string> arguments;
    std::string line;
};

TEST(WindowsCommandLine, QuotesEveryPartSoThatEachArrivesWhole) {
    const Case cases[] = {
        // The spreadsheet program on a workbook, both with blanks.
        {R"(C:\Program Files\Office\EXCEL.EXE)",
         {R"(C:\App\Neue Mappe.xlsx)"},
         R"("C:\Program Files\Office\EXCEL.EXE" "C:\App\Neue Mappe.xlsx")"},
        // A program folder that came back empty.
        {R"(\EXCEL.EXE)", {R"(C:\a.xls)"}, R"("\EXCEL.EXE" "C:\a.xls")"},
        {"p", {}, R"("p")"},
        {"p", {"", "a", "b c"}, R"("p" "" "a" "b c")"},
        // Backslashes count only before a quotation mark.
        {"p", {R"(a\\b)"}, R"("p" "a\\b")"},
        {"p", {R"(C:\dir\)"}, R"("p" "C:\dir\\")"},
        {"p", {R"(a"b)"}, R"("p" "a\"b")"},
        {"p", {R"(a\"b)"}, R"("p" "a\\\"b")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(windowsCommandLine(c.program, c.arguments), c.line);
    }
}

// The updater's own options are found in any case and among other
// arguments, which are ignored; nothing like them counts.
TEST(UpdaterOptions, AreFoundWhereverTheyStandAndNothingElseCounts) {
    const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
        {{"--prefetch"}, true},
        {{"/x", "--PREFETCH", "y"}, true},
        {{}, false},
        {{"--prefetch=1"}, false},
        {{"-prefetch"}, false},
        {{"\"--prefetch\""}, false},
    };
    for (const auto& [arguments, found] : cases) {
        EXPECT_EQ(hasOption(arguments, "--prefetch"), found) << arguments.size();
    }
}

}  // namespace
}  // namespace morvane
