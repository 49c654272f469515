// Windows command lines taken apart on a POSIX host, the way Windows does it.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/posix/process.h"

namespace morvane::posix {
namespace {

struct Case {
    std::string line;
    std::set<std::string> programs;  // the candidates that exist
    std::string program;
    std::vector<std::string> arguments;
};

TEST(SplitCommandLine, FollowsWindowsRules) {
    const std::string excel = R"(Z:\opt\office\EXCEL.EXE)";
    const std::string spaced = R"(Z:\opt\my office\EXCEL.EXE)";
    const std::vector<Case> cases = {
        // The updater's own line: program unquoted, workbook quoted.
        {excel + R"( "Z:\app\Mappe 1.xls")", {excel}, excel, {R"(Z:\app\Mappe 1.xls)"}},
        // A folder with blanks: the blank-separated prefixes are tried in turn.
        {spaced + R"( "Z:\app\a.xls")", {spaced}, spaced, {R"(Z:\app\a.xls)"}},
        // The shortest existing prefix wins, as on Windows.
        {spaced + " x", {R"(Z:\opt\my)", spaced}, R"(Z:\opt\my)", {"office\\EXCEL.EXE", "x"}},
        // Nothing exists: the first word, so that the start names it.
        {R"(\EXCEL.EXE "Z:\a.xls")", {}, R"(\EXCEL.EXE)", {R"(Z:\a.xls)"}},
        {R"(Z:\no where\EXCEL.EXE)", {}, R"(Z:\no)", {R"(where\EXCEL.EXE)"}},
        // A quoted program ends at the closing mark.
        {R"("Z:\my office\EXCEL.EXE" a)", {}, R"(Z:\my office\EXCEL.EXE)", {"a"}},
        {R"(  "Z:\x" a)", {}, R"(Z:\x)", {"a"}},
        {R"("Z:\open)", {}, R"(Z:\open)", {}},
        // The whole line is the last candidate.
        {"Z:\\p q", {"Z:\\p q"}, "Z:\\p q", {}},
        {"", {}, "", {}},
        // Arguments by the C runtime's rules.
        {"p  a\tb  ", {"p"}, "p", {"a", "b"}},
        {R"(p "a b" c)", {"p"}, "p", {"a b", "c"}},
        {R"(p a"b c"d)", {"p"}, "p", {"ab cd"}},
        {R"(p "")", {"p"}, "p", {""}},
        {R"(p a\\b)", {"p"}, "p", {R"(a\\b)"}},
        {R"(p a\\"b c")", {"p"}, "p", {R"(a\b c)"}},
        {R"(p a\"b)", {"p"}, "p", {R"(a"b)"}},
        {R"(p a\\\"b)", {"p"}, "p", {R"(a\"b)"}},
        {R"(p "a""b")", {"p"}, "p", {R"(a"b)"}},
        {R"(p "Z:\dir\")", {"p"}, "p", {R"(Z:\dir")"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const CommandLine parsed = splitCommandLine(
            c.line, [&](const std::string& candidate) { return c.programs.count(candidate) > 0; });
        EXPECT_EQ(parsed.program, c.program);
        EXPECT_EQ(parsed.arguments, c.arguments);
    }
}

}  // namespace
}  // namespace morvane::posix
