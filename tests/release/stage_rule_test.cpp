#include "release/stage_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "release/release.h"

namespace morvane {
namespace {

// Buckets computed apart from the code under test:
// int.from_bytes(sha256((name.upper() + "|" + version).encode())[:4], "big") % 100
TEST(StageRule, BucketIsTheHashOfTheUpperCaseNameAndTheVersion) {
    struct Case {
        const char* name;
        const char* version;
        int bucket;
    };
    const Case cases[] = {
        {"BUERO-01", "2.1", 47},      {"buero-01", "2.1", 47}, {"BUERO-02", "2.1", 24},
        {"Empfang", "2.1", 60},       {"LAGER_7", "2.1", 78},  {"BUERO-01", "2.2", 97},
        {"BUERO-01", "2.1 beta", 83}, {"a1b2c3d4", "2.1", 57},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.version);
        EXPECT_EQ(stageBucket(c.name, c.version), c.bucket);
    }
}

TEST(StageRule, OfferedToPilotsInAnyCaseAndToBucketsBelowTheShare) {
    struct Case {
        const char* name;
        std::vector<std::string> pilots;
        int share;
        bool offered;
    };
    const Case cases[] = {
        {"BUERO-01", {}, 47, false},  // bucket 47 is not below 47
        {"BUERO-01", {}, 48, true},
        {"BUERO-02", {}, 25, true},  // bucket 24
        {"BUERO-02", {}, 24, false},
        {"BUERO-01", {"buero-01"}, 1, true},
        {"BUERO-01", {"EMPFANG", "Buero-01"}, 1, true},
        {"BUERO-01", {"BUERO-0"}, 1, false},
        {"LAGER_7", {}, 100, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " share " + std::to_string(c.share));
        EXPECT_EQ(isOfferedTo(Stage{c.pilots, c.share}, c.name, "2.1"), c.offered);
    }
}

TEST(StageRule, TheDescriptionCarriesPilotAndAnteilAfterTheVersionLine) {
    struct Case {
        const char* block;  // the lines of [Version]
        std::vector<std::string> pilots;
        int share;
        bool unreadable;
    };
    const Case cases[] = {
        {"2.1\r\n", {}, 100, false},
        {"2.1\r\nPilot = BUERO-01, empfang\r\nAnteil = 25\r\n", {"BUERO-01", "empfang"}, 25, false},
        {"; Stufe 1\r\n2.1\r\n; die Pilot-PCs\r\nPilot=LAGER_7,\r\nAnteil =  7 \r\n",
         {"LAGER_7"},
         7,
         false},
        {"2.1\r\nAnteil = 25 %\r\n", {}, 100, true},
        {"2.1\r\nAnteil = 0\r\n", {}, 100, true},
        {"2.1\r\nAnteil = 101\r\n", {}, 100, true},
        {"2.1\r\nAnteil = -5\r\n", {}, 100, true},
        {"2.1\r\nAnteil = 2.5\r\n", {}, 100, true},
        {"2.1\r\nAnteil =\r\n", {}, 100, true},
        {"2.1\r\nanteil = 30\r\nPILOT = A\r\n", {}, 100, false},  // names compared exactly
        {"2.1\r\nPilot = A = B\r\n", {}, 100, false},             // two "=": no value
        {"Anteil = 5\r\n", {}, 100, false},                       // the version line itself
        {"2.1\r\nAnteil = 20\r\nAnteil = 90\r\nPilot = A\r\nPilot = B\r\n", {"A"}, 20, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.block);
        const Release release = parseRelease("[Version]\r\n" + std::string(c.block));
        EXPECT_EQ(release.stage.pilots, c.pilots);
        EXPECT_EQ(release.stage.share, c.share);
        EXPECT_EQ(release.shareUnreadable, c.unreadable);
    }
}

}  // namespace
}  // namespace morvane
