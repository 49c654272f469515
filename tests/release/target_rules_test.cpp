#include "release/target_rules.h"

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
        {"COM0", true, false},
        {"lpt0.txt", true, false},
        {"com¹", true, false},
        {"sub\\COM²\\x.txt", true, false},
        {"LPT³.txt", true, false},
        {"LPT¹ .dat", true, false},
        {"COM⁴", true, true},  // Windows maps only ¹ ² ³ to a port
        {"COM", true, true},
        {"REVISI~1.NEW", true, false},  // a short name may reach another file
        {"lib\\LIBRAR~2", true, false},
        {"ÜBERWE~1.INI", true, false},  // eight characters, though ten bytes
        {"ÄRGERL~1.ÜBÄ", true, false},
        {"~$Umsatz.xlsm", true, true},
        {"Bericht~1.xlsx", true, true},  // too long for a short name
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

struct OwnFileCase {
    std::string target;
    bool own;
};

// Installed below the folder and downloaded below Temp: neither place may
// be one of the updater's own.
TEST(TargetRulesTest, TargetsMustNotReachTheUpdatersOwnFiles) {
    const std::vector<OwnFileCase> cases = {
        {"Temp\\revision.ini", true},
        {"temp\\a.txt", true},
        {"TEMP/x.txt", true},
        {"Backup\\app_2024-03-05_14.07.09.exe", true},
        {"backup\\x", true},
        {"Updater.exe", true},
        {"UPDATER.INI", true},
        {"updater", true},
        {"revision.ini", true},
        {"REVISION.INI.new", true},
        {"revision.ini.install", true},
        {"Updater.log", true},
        {"updater.log.1", true},
        {"lib\\x.part", true},
        {"Vorrat\\0123abcd", true},
        {"vorrat/a.txt", true},
        {"VORRAT", true},
        {"lib\\Vorrat\\x.txt", false},
        {"Vorräte\\x.txt", false},
        {"Updater.gif", false},
        {"lib\\Updater.exe", false},
        {"lib\\Temp\\x.txt", false},
        {"Temporär\\x.txt", false},
        {"Backups\\x.txt", false},
        {"revision.ini.old", false},
    };
    for (const OwnFileCase& c : cases) {
        SCOPED_TRACE("'" + c.target + "'");
        EXPECT_EQ(namesUpdaterOwnFile(c.target, "revision.ini", "Updater"), c.own);
    }
}

}  // namespace
}  // namespace morvane
