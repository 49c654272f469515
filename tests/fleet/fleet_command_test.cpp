#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "fleet/log_time.h"
#include "fleet_logs.h"
#include "publish/commands.h"
#include "support/host_adapters.h"

namespace morvane::fleet {
namespace {

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// An nginx line of a request `ago` seconds before now.
std::string line(std::int64_t ago, const std::string& address, const std::string& target,
                 const std::string& userAgent) {
    return address + " - - [" + test::combinedTimeOf(now() - ago) + "] \"GET " + target +
           " HTTP/1.1\" 200 512 \"-\" \"" + userAgent + "\"\n";
}

std::string updater(const std::string& revision, const std::string& status,
                    const std::string& computer) {
    return "Morvane-Updater/1.1.0.0 (Revision " + revision + "; Status " + status + "; PC " +
           computer + ")";
}

struct CommandRun {
    int status = 0;
    std::string out;
    std::string err;
};

CommandRun publisher(const std::vector<std::string>& args) {
    morvane::test::HostHttp http;
    std::ostringstream out;
    std::ostringstream err;
    CommandRun run;
    run.status = publish::runPublisher(args, http, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

CommandRun fleetCommand(std::vector<std::string> args) {
    args.insert(args.begin(), "fleet");
    return publisher(args);
}

constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = kSecondsPerDay;

TEST(FleetCommand, ExitsWith2ForWrongUsageAnd3ForWhatItCannotShow) {
    test::LogFolder logs;
    const std::string browsers = logs.write(
        "browsers.log", line(kHour, "10.0.0.1", "/index.html", "Mozilla/5.0 (X11; Linux)"));
    const std::string signatures = logs.write(
        "sig.log", line(kHour, "10.0.0.1", "/u/revision.ini.sig", updater("2.0", "0", "A")));
    const std::string old = logs.write(
        "old.log", line(40 * kDay, "10.0.0.1", "/u/revision.ini", updater("2.0", "0", "A")));
    const std::string errors = logs.write("error.log", "2026/12/08 10:32:42 [error] 8084#8084\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{}, 2, "fleet: LOG is missing\nusage: "},
        {{"--days", "0", old}, 2, "--days takes a whole number from 1 to 36500"},
        {{"--days", "30 days", old}, 2, "--days takes a whole number"},
        {{old, "--days"}, 2, "--days needs a value"},
        {{"--since", "1", old}, 2, "unknown option --since"},
        {{logs.path("missing.log")}, 3, "missing.log: cannot be opened"},
        {{logs.path("nothing*.log")}, 3, "nothing*.log: no file matches"},
        {{errors}, 3, "not an access log of a format fleet knows"},
        {{browsers}, 3, "nothing to show: no request of the updater"},
        {{signatures},
         3,
         "requests in the logs hold no GET of a description (a path ending in "
         ".ini; --description names it)"},
        {{old}, 3, "all 1 GETs of a description by the updater are older than 30 days"},
        {{old, "--description", "lager/revision.ini"}, 3, "whose path ends in lager/revision.ini"},
        {{"--release", logs.path("missing.ini"), old}, 3, "missing.ini: cannot be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const CommandRun run = fleetCommand(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    const CommandRun inPeriod = fleetCommand({"--days", "41", old});
    EXPECT_EQ(inPeriod.status, 0) << inPeriod.err;
}

TEST(FleetCommand, ShowsThePcsOfEveryLogAndWritesTheTableAndThePage) {
    test::LogFolder logs;
    logs.write(
        "access.log",
        line(kHour, "10.0.0.11", "/u/revision.ini", updater("2.1", "0", "BUERO-01")) +
            "10.0.0.99 - - [08/Dec/2026:10:3\n" +
            line(2 * kHour, "10.0.0.12", "/u/revision.ini", updater("2.0", "5", "BUERO-02")));
    logs.write("access.log.1.gz",
               test::gzipped(
                   line(3 * kDay, "10.0.0.12", "/u/revision.ini", updater("2.0", "0", "BUERO-02")) +
                   line(9 * kDay, "10.0.0.13", "/u/revision.ini", updater("2.0", "-", "EMPFANG")) +
                   line(31 * kDay, "10.0.0.14", "/u/revision.ini", updater("1.9", "0", "ALT"))));
    logs.write("release.ini", "[Version]\r\n2.1\r\nPilot = Empfang\r\nAnteil = 20\r\n[Titel]\r\n");

    const CommandRun run =
        fleetCommand({logs.path("access.log*"), "--release", logs.path("release.ini"), "--csv",
                      logs.path("fleet.csv"), "--html", logs.path("fleet.html")});

    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err,
              logs.path("access.log") + ": 1 line not read; the first, line 2: no [time]\n");
    EXPECT_EQ(run.out.rfind("3 PCs asked for the description in the last 30 days", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("Last run failed: 1 PC (BUERO-02)\n"
                           "Not seen for more than 7 days: 1 PC\n"
                           "Release 2.1: 1 of 3 PCs has it; stage pilot 1 PC, then 20 % of the "
                           "others: offered to 1 more, not yet to 1\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("ALT"), std::string::npos) << "older than 30 days";
    EXPECT_NE(run.out.find("wrote " + logs.path("fleet.csv")), std::string::npos);

    const std::string csv = logs.folder.read("fleet.csv");
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBFPC;Last seen;", 0), 0u);
    EXPECT_NE(csv.find("\r\n\"=\"\"BUERO-02\"\"\";"), std::string::npos) << csv;
    EXPECT_NE(csv.find(";2;1;not offered yet;5;a download failed during the installation\r\n"),
              std::string::npos)
        << csv;
    const std::string page = logs.folder.read("fleet.html");
    EXPECT_NE(page.find("<td>EMPFANG</td>"), std::string::npos);
    EXPECT_NE(page.find("<rect class=\"bar revision\""), std::string::npos);
}

// check --fleet names the PCs in the logs that the stage offers the release
// to, by the updater's rule. Buckets for 2.1, computed apart from the code:
// BUERO-01 47, BUERO-02 24, EMPFANG 60, LAGER_7 78.
TEST(FleetCommand, CheckNamesThePcsInTheLogsThatTheStageReaches) {
    test::LogFolder logs;
    const std::string log = logs.write(
        "access.log",
        line(kHour, "10.0.0.11", "/u/revision.ini", updater("2.0", "0", "BUERO-01")) +
            line(kHour, "10.0.0.12", "/u/revision.ini", updater("2.0", "0", "BUERO-02")) +
            line(kHour, "10.0.0.13", "/u/revision.ini", updater("2.0", "0", "empfang")) +
            line(kHour, "10.0.0.14", "/u/revision.ini", updater("2.0", "0", "LAGER_7")) +
            line(kHour, "10.0.0.15", "/u/revision.ini", "Morvane-Updater/1.0"));
    const struct {
        const char* stageLines;  // after the version line
        const char* reached;     // "N of 4 PCs ...: NAMES"
        bool shareUnreadable;
    } cases[] = {
        {"",
         "4 of 4 PCs in the logs (seen in the last 30 days): BUERO-01, BUERO-02, empfang, LAGER_7",
         false},
        {"Anteil = 25\r\n", "1 of 4 PCs in the logs (seen in the last 30 days): BUERO-02", false},
        {"Anteil = 24\r\n", "0 of 4 PCs in the logs (seen in the last 30 days)", false},
        {"Pilot = EMPFANG\r\nAnteil = 48\r\n",
         "3 of 4 PCs in the logs (seen in the last 30 days): BUERO-01, BUERO-02, empfang (pilot)",
         false},
        {"Pilot = lager_7, KASSE1\r\nAnteil = 1\r\n",
         "1 of 4 PCs in the logs (seen in the last 30 days): LAGER_7 (pilot)", false},
        {"Anteil = 0\r\n",
         "4 of 4 PCs in the logs (seen in the last 30 days): BUERO-01, BUERO-02, empfang, LAGER_7",
         true},
        {"Anteil = abc\r\n",
         "4 of 4 PCs in the logs (seen in the last 30 days): BUERO-01, BUERO-02, empfang, LAGER_7",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stageLines);
        const std::string description =
            logs.write("revision.ini", std::string("[Version]\r\n2.1\r\n") + c.stageLines +
                                           "[Titel]\r\nT\r\n[Msg-Typ]\r\n0\r\n[Beschreibung]\r\n"
                                           "[Startdatei]\r\nUmsatz.xlsm\r\n");
        const CommandRun run = publisher({"check", description, "--fleet", log});
        EXPECT_EQ(run.status, 1) << run.err;  // Startdatei installed by no block
        EXPECT_NE(run.out.find(description + ": note: reaches " + c.reached + "\n"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("note: 1 PC in the logs left out"), std::string::npos);
        EXPECT_EQ(run.err.find("Anteil \"") != std::string::npos, c.shareUnreadable) << run.err;
    }
}

}  // namespace
}  // namespace morvane::fleet
