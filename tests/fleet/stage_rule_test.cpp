#include "fleet/stage_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
        {"BUERO-01", {"EMPFANG", " Buero-01 "}, 1, true},
        {"BUERO-01", {"BUERO-0"}, 1, false},
        {"LAGER_7", {}, 100, true},
        {"LAGER_7", {}, 0, true},  // outside 1 to 100: as 100
        {"LAGER_7", {}, 101, true},
        {"LAGER_7", {}, -5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " share " + std::to_string(c.share));
        EXPECT_EQ(isOfferedTo(c.name, "2.1", c.pilots, c.share), c.offered);
    }
}

TEST(StageRule, ReadsPilotAndAnteilAfterTheVersionLine) {
    struct Case {
        const char* block;
        std::vector<std::string> pilots;
        int share;
        bool valid;
        const char* described;
    };
    const Case cases[] = {
        {"2.1\r\n", {}, 100, true, "all PCs"},
        {"2.1\r\nPilot = BUERO-01, empfang\r\nAnteil = 25\r\n",
         {"BUERO-01", "empfang"},
         25,
         true,
         "pilot 2 PCs, then 25 % of the others"},
        {"; Stufe 1\r\n2.1\r\n; die Pilot-PCs\r\nPilot=LAGER_7,\r\nAnteil =  7 \r\n",
         {"LAGER_7"},
         7,
         true,
         "pilot 1 PC, then 7 % of the others"},
        {"2.1\r\nAnteil = 10\r\n", {}, 10, true, "10 % of the PCs"},
        {"2.1\r\nAnteil = 25 %\r\n", {}, 100, false, "all PCs"},
        {"2.1\r\nAnteil = 0\r\n", {}, 100, false, "all PCs"},
        {"2.1\r\nAnteil = 101\r\n", {}, 100, false, "all PCs"},
        {"2.1\r\nAnteil = -5\r\n", {}, 100, false, "all PCs"},
        {"2.1\r\nAnteil = 2.5\r\n", {}, 100, false, "all PCs"},
        {"2.1\r\nAnteil =\r\n", {}, 100, false, "all PCs"},
        {"2.1\r\nAnteil = 30\r\nAnteil = 50\r\n", {}, 30, true, "30 % of the PCs"},
        {"2.1\r\nanteil = 30\r\nPILOT = A\r\n", {}, 100, true, "all PCs"},  // names exact
        {"2.1\r\nPilot = A = B\r\n", {}, 100, true, "all PCs"},             // two "=": no value
        {"Anteil = 5\r\n", {}, 100, true, "all PCs"},  // the version line itself
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.block);
        const std::vector<Block> blocks = parseBlocks("[Version]\r\n" + std::string(c.block));
        const Stage stage = readStage(blocks.front());
        EXPECT_EQ(stage.pilots, c.pilots);
        EXPECT_EQ(stage.share, c.share);
        EXPECT_EQ(stage.shareValid, c.valid);
        EXPECT_EQ(describeStage(stage), c.described);
    }
}

}  // namespace
}  // namespace morvane
