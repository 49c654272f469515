#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "fleet/fleet_picture.h"
#include "fleet/fleet_reports.h"
#include "fleet/log_time.h"

namespace morvane::fleet {
namespace {

constexpr std::int64_t kDay = kSecondsPerDay;
// 2026-12-08 10:25:00 UTC
constexpr std::int64_t kMonday = 1796725500;

PcState pc(const char* computer, const char* revision, const char* status,
           std::int64_t lastSeen = kMonday, const char* address = "10.0.0.1") {
    PcState state;
    state.computer = computer;
    state.revision = revision;
    state.status = status;
    state.lastSeen = lastSeen;
    state.address = address;
    state.fileVersion = "1.1.0.0";
    state.runs = 4;
    state.failingRuns = 2;
    return state;
}

std::string marks(const FleetPicture& picture) {
    std::string text;
    for (std::size_t i = 0; i < picture.pcs.size(); ++i) {
        text += picture.pcs[i].computer + ":" + markWords(picture.marks[i]) + " ";
    }
    return text;
}

TEST(FleetPicture, SummarisesRevisionsNewestFirstFailedRunsAndAbsentPcs) {
    const FleetPicture picture = makePicture(
        {pc("C", "2.10", "3"), pc("a", "2.9", "0", kMonday - 8 * kDay), pc("B", "2.10", "5"),
         pc("D", "-", "-", kMonday - 7 * kDay), pc("", "", "", kMonday, "10.0.0.9"),
         pc("E", "2.10", "4"), pc("F", "2.10", "7"), pc("G", "2.10", "1"), pc("H", "2.10", "6")},
        kMonday, 30, std::nullopt);

    std::string order;
    for (const PcState& state : picture.pcs) {
        order += (state.computer.empty() ? state.address : state.computer) + " ";
    }
    EXPECT_EQ(order, "a B C D E F G H 10.0.0.9 ");
    // As the updater compares versions, "2.9" is newer than "2.10".
    const std::vector<std::pair<std::string, std::size_t>> revisions = {
        {"2.9", 1}, {"2.10", 6}, {"-", 1}, {"", 1}};
    EXPECT_EQ(picture.revisions, revisions);
    EXPECT_EQ(picture.failing, (std::vector<std::size_t>{1, 2, 5, 7}));  // B C F H: 5 3 7 6
    EXPECT_EQ(picture.absent, std::vector<std::size_t>{0}) << "a: 8 days; D: 7 days";
    ASSERT_TRUE(picture.release.has_value());
    EXPECT_EQ(picture.release->version, "2.9");
    EXPECT_EQ(marks(picture), "a:has it B:- C:- D:- E:- F:- G:- H:- :? ");
    EXPECT_EQ(picture.runs, 36);
}

TEST(FleetPicture, MarksWhomTheStageOfTheGivenReleaseOffersItTo) {
    // Buckets for 2.1: BUERO-01 47, BUERO-02 24, EMPFANG 60.
    Stage stage;
    stage.pilots = {"empfang"};
    stage.share = 25;
    const FleetPicture picture = makePicture(
        {pc("BUERO-01", "2.0", "0"), pc("BUERO-02", "2.0", "0"), pc("EMPFANG", "2.0", "0"),
         pc("LAGER_7", "2.1", "0"), pc("", "", "", kMonday, "10.0.0.9")},
        kMonday, 30, ReleaseInView{"2.1", stage});

    EXPECT_EQ(marks(picture),
              "BUERO-01:not offered yet BUERO-02:offered EMPFANG:offered LAGER_7:has it :? ");
    EXPECT_EQ(releaseLine(picture),
              "Release 2.1: 1 of 5 PCs has it; stage pilot 1 PC, then 25 % of the others: "
              "offered to 2 more, not yet to 1");
}

// Two PCs, one of whose texts (as anyone who can send a request can make
// them) tries to be a formula, markup or a terminal command.
FleetPicture hostilePicture(const char* revision) {
    PcState second = pc("EMPFANG", revision, "0", kMonday - 9 * kDay, "fe80::1");
    second.runs = 1;
    second.failingRuns = 0;
    return makePicture({pc("0042", "2.1", "3"), second}, kMonday + 3600, 30,
                       ReleaseInView{"2.1", std::nullopt});
}

std::int64_t oneHour(std::int64_t) {
    return 3600;
}

TEST(FleetReports, CsvIsForAGermanExcelAndShowsTextsAsText) {
    const std::string csv =
        csvReport(hostilePicture("=HYPERLINK(\"http://x\";\"y\")"), LocalOffset(oneHour));

    EXPECT_EQ(csv,
              "\xEF\xBB\xBFPC;Last seen;Address;Revision;Updater;Runs;Failed;Release "
              "2.1;Status;Last run\r\n"
              "\"=\"\"0042\"\"\";08.12.2026 11:25:00;\"=\"\"10.0.0.1\"\"\";\"=\"\"2.1\"\"\";"
              "\"=\"\"1.1.0.0\"\"\";4;2;has it;3;the description could not be fetched or is not "
              "validly signed\r\n"
              "\"=\"\"EMPFANG\"\"\";29.11.2026 11:25:00;\"=\"\"fe80::1\"\"\";"
              "\"=\"\"=HYPERLINK(\"\"\"\"http://x\"\"\"\";\"\"\"\"y\"\"\"\")\"\"\";"
              "\"=\"\"1.1.0.0\"\"\";1;0;-;0;no newer version, or the update was installed\r\n");
}

TEST(FleetReports, PageAndTerminalShowTheLogsTextsAsText) {
    const char* const revision = "</td><script>alert(1)</script>\x1b[2J&";
    const FleetPicture picture = hostilePicture(revision);

    const std::string page = htmlReport(picture, LocalOffset(oneHour));
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find("&lt;/td&gt;&lt;script&gt;alert(1)&lt;/script&gt;?[2J&amp;"),
              std::string::npos);
    EXPECT_NE(page.find("<td>2026-12-08 11:25</td>"), std::string::npos);
    EXPECT_NE(page.find("Content-Security-Policy\" content=\"default-src 'none'"),
              std::string::npos);

    std::ostringstream terminal;
    writeTextReport(picture, LocalOffset(oneHour), terminal);
    EXPECT_EQ(terminal.str().find('\x1b'), std::string::npos);
    EXPECT_NE(terminal.str().find("Last run failed: 1 PC (0042)\n"
                                  "Not seen for more than 7 days: 1 PC\n"
                                  "Release 2.1: 1 of 2 PCs has it\n"),
              std::string::npos)
        << terminal.str();
    EXPECT_NE(terminal.str().find("0042     2026-12-08 11:25  10.0.0.1  2.1"), std::string::npos)
        << terminal.str();
}

}  // namespace
}  // namespace morvane::fleet
