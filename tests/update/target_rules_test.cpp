#include "update/target_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvane {
namespace {

struct TargetCase {
    std::string target;
    bool staysBelow;
    bool namesFile;
};

TEST(TargetRulesTest, TargetsMustNameAFileBelowTheFolder) {
    const std::vector<TargetCase> cases = {
        {"app.exe", true, true},
        {"lib\\core.dll", true, true},
        {"lib/core.dll", true, true},
        {"README", true, true},
        {".config", true, true},
        {"console\\x.txt", true, true},
        {"con.d\\x.txt", true, false},  // the part before the first "." decides
        {"COM10.txt", true, true},
        {"Ärger ü.xlsm", true, true},
        {"", true, false},
        {"lib\\", true, false},
        {"lib/", true, false},
        {"a\\\\b.txt", true, false},
        {".\\a.txt", true, false},
        {"a\\.\\b.txt", true, false},
        {"x.", true, false},
        {"x ", true, false},
        {"a\tb", true, false},
        {"a?b", true, false},
        {"a*b", true, false},
        {"a|b", true, false},
        {"a\"b", true, false},
        {"a<b>", true, false},
        {"NUL", true, false},
        {"nul.txt", true, false},
        {"Con", true, false},
        {"sub\\AUX\\x.txt", true, false},
        {"PRN .txt", true, false},
        {"COM1", true, false},
        {"lpt9.dat", true, false},
        {"CONOUT$", true, false},
        {"..", false, false},
        {"..\\x.txt", false, false},
        {"a\\..\\..\\x.txt", false, false},
        {"\\x.txt", false, false},
        {"/x.txt", false, false},
        {"C:\\x.txt", false, false},
        {"C:x.txt", false, false},
        {"x.txt:stream", false, false},
    };
    for (const TargetCase& c : cases) {
        SCOPED_TRACE("'" + c.target + "'");
        EXPECT_EQ(staysBelowFolder(c.target), c.staysBelow);
        EXPECT_EQ(namesFileBelowFolder(c.target), c.namesFile);
    }
}

}  // namespace
}  // namespace morvane
