#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "fakes/recording_run_log.h"
#include "support/update_run_fixture.h"
#include "support/wine_host.h"
#include "update/excel_module.h"

namespace morvane::test {
namespace {

const std::string kChanges = "Neue Funktionen\r\n;intern\r\n\r\n";
const std::string kStamp = "_2024-03-05_14.07.09";

std::string fileBlock(const std::string& title, const std::string& source,
                      const std::string& target) {
    return "[" + title + "]\r\nQuelle = " + source + "\r\nZiel = " + target + "\r\n";
}

std::string askText(const std::string& changes) {
    return "Es wurde eine neue Version mit folgenden Änderungen gefunden (eine Aktualisierung "
           "wird dringend empfohlen):\r\n\r\n" +
           changes + "\r\nMöchten Sie fortfahren und die Anwendung aktualisieren?";
}

std::string informText(const std::string& changes) {
    return "Es wurde eine neue Version mit folgenden Änderungen gefunden:\r\n\r\n" + changes +
           "\r\nEs wird nun eine Aktualisierung durchgeführt.";
}

class UpdateTest : public UpdateRunTest {
protected:
    // Version 2.0 with three files: one replaced, one in a subfolder, one
    // without extension; the description names the workbook.
    void publishRelease(const std::string& messageType, const std::string& version = "2.0") {
        serve("updates/bin/app.exe", "app v2");
        serve("updates/lib/core.dll", "core v2");
        serve("updates/README", "readme v2");
        publish(description(version, messageType,
                            fileBlock("App", "bin/app.exe", "app.exe") +
                                fileBlock("Core", "lib/core.dll", "lib\\core.dll") +
                                fileBlock("Liesmich", "README", "README"),
                            "Mappe.xlsx", kChanges));
    }
    void installOldRelease() {
        writeSettings("Alt.xlsx");
        writeApp("app.exe", "app v1");
        writeApp("README", "readme v1");
        writeApp("Mappe.xlsx", "workbook");
        writeApp("Temp\\revision.ini", description("1.0", "2", ""));
    }
    std::string excelLine(const std::string& workbook) const {
        return "\"" + spreadsheet.path + "\\EXCEL.EXE\" \"" + appFolder() + "\\" + workbook + "\"";
    }
};

// A release in stages reaches its pilots, then the PCs whose bucket lies
// below its share; one not offered it yet keeps what it has, asks nothing,
// fetches nothing but the description and ends as done.
TEST_F(UpdateTest, AReleaseInStagesReachesThePilotsThenItsShareOfTheOthers) {
    struct Row {
        const char* computer;
        const char* stageLines;  // after the version line
        bool offered;
    };
    // The buckets for version 2.0: PC-ANNA 49, BUERO-07 34, Kasse1 55.
    const Row rows[] = {
        {"PC-ANNA", "", true},
        {"PC-ANNA", "Anteil = 49\r\n", false},
        {"PC-ANNA", "Anteil = 50\r\n", true},
        {"Kasse1", "Pilot = BUERO-07, kasse1\r\nAnteil = 1\r\n", true},
        {"Kasse1", "Pilot = BUERO-07\r\nAnteil = 55\r\n", false},
        {"BUERO-07", "Anteil = 0\r\n", true},  // no share at all: taken as 100
        {"BUERO-07", "Anteil = 25 %\r\n", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.computer) + " " + row.stageLines);
        installOldRelease();
        writeApp("Alt.xlsx", "workbook 1.0");
        publishRelease("0", std::string("2.0\r\n") + row.stageLines);
        process.computer = row.computer;
        process.started.clear();
        const int before = requestsFor("/updates/bin/app.exe");
        EXPECT_EQ(run(), static_cast<int>(ExitStatus::Done));
        EXPECT_EQ(readApp("app.exe"), row.offered ? "app v2" : "app v1");
        EXPECT_EQ(requestsFor("/updates/bin/app.exe") - before, row.offered ? 1 : 0);
        if (!row.offered) {
            EXPECT_EQ(readApp("Temp\\revision.ini"), description("1.0", "2", ""));
        }
        EXPECT_EQ(process.started,
                  std::vector<std::string>{excelLine(row.offered ? "Mappe.xlsx" : "Alt.xlsx")});
    }
}

// Every request tells the server where the PC stands: the installed
// revision, how the previous run ended and the PC's name, or a hash of it.
TEST_F(UpdateTest, EveryRequestTellsTheRevisionThePreviousStatusAndThePC) {
    for (const bool anonymous : {false, true}) {
        SCOPED_TRACE(anonymous ? "anonym" : "named");
        installOldRelease();
        std::filesystem::remove(root.native("App\\Temp\\Updater.status"));
        if (anonymous) {
            writeApp("Updater.ini", readApp("Updater.ini") + "[Bericht]\r\nanonym\r\n");
        }
        publish(description("1.0", "2", ""));
        process.computer = "PC-ANNA";
        const std::string pc = anonymous ? "9354bea2" : "PC-ANNA";
        for (const char* previous : {"-", "0"}) {
            const std::size_t before = server->requests().size();
            run();
            const std::vector<RecordedRequest> requests = server->requests();
            ASSERT_GT(requests.size(), before);
            for (std::size_t i = before; i < requests.size(); ++i) {
                EXPECT_EQ(requests[i].header("User-Agent"),
                          "Morvane-Updater/1.0.0.0 (Revision 1.0; Status " + std::string(previous) +
                              "; PC " + pc + ")");
            }
        }
    }
}

// A maintenance page, a portal's page or a compressed description answered
// with 200 is no description: a failed fetch, and the record stays as it was.
TEST_F(UpdateTest, AnAnswerThatIsNoDescriptionLeavesTheRecordAsItWas) {
    const std::string answers[] = {"<html><body>Wartungsarbeiten</body></html>",
                                   std::string("\x1f\x8b\x08\0\0\0\0\0", 8),
                                   "[Version]\r\n0.9\r\n[Startdatei]\r\nAlt.xlsx\r\n"};
    for (const std::string& answer : answers) {
        installOldRelease();
        publish(answer);
        RecordingRunLog log;
        EXPECT_EQ(Main(platform, log), static_cast<int>(ExitStatus::NoDescription));
        EXPECT_EQ(readApp("Temp\\revision.ini"), description("1.0", "2", ""));
        EXPECT_EQ(log.count("The answer is not a revision description: "), 1);
        EXPECT_EQ(log.count(", " + std::to_string(answer.size()) + " bytes, "), 1);
    }
}

TEST_F(UpdateTest, AcceptedUpdateInstallsEveryFileAndStartsTheWorkbook) {
    installOldRelease();
    publishRelease("2");
    ui.answers = {box::Yes};
    run();

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Morvane 2");
    EXPECT_EQ(ui.boxes[0].style, box::YesNoInformation);
    EXPECT_EQ(ui.boxes[0].text, askText(kChanges));

    EXPECT_EQ(readApp("app.exe"), "app v2");
    EXPECT_EQ(readApp("lib\\core.dll"), "core v2");
    EXPECT_EQ(readApp("README"), "readme v2");
    EXPECT_EQ(backups(), (std::vector<std::string>{"README" + kStamp, "app" + kStamp + ".exe"}));
    EXPECT_EQ(root.read("App/Backup/app" + kStamp + ".exe"), "app v1");
    EXPECT_FALSE(appHas("Temp\\app.exe"));
    EXPECT_FALSE(appHas("Temp\\revision.ini.install"));
    EXPECT_TRUE(appHas("Temp\\revision.ini"));

    ASSERT_EQ(progress.shown.size(), 1u);
    EXPECT_EQ(progress.shown[0], appFolder() + "\\Updater.gif");
    ASSERT_EQ(progress.shares.size(), 3u);
    EXPECT_FLOAT_EQ(progress.shares[0], 1.0f / 3);
    EXPECT_FLOAT_EQ(progress.shares[1], 2.0f / 3);
    EXPECT_FLOAT_EQ(progress.shares[2], 1.0f);

    EXPECT_EQ(process.started, (std::vector<std::string>{excelLine("Mappe.xlsx")}));
    EXPECT_EQ(spreadsheet.instances, 0);
    EXPECT_EQ(ui.cursorChanges.back(), "arrow");

    // The next run finds the installed version and asks nothing.
    ui.boxes.clear();
    run();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(process.started.size(), 2u);
}

TEST_F(UpdateTest, UnchangedFilesAreNeitherFetchedNorMovedNorBackedUp) {
    installOldRelease();
    serve("updates/bin/app.exe", "app v2");
    serve("updates/README", "readme v2");
    serve("updates/Mappe.xlsx", "workbook");
    // app.exe is installed already; Mappe.xlsx is too, but without a hash
    // nothing tells, so it is fetched as before.
    publish(description(
        "2.0", "1",
        fileBlock("App", "bin/app.exe", "app.exe") + "SHA256 = " + sha256Of("app v1") + "\r\n" +
            fileBlock("Liesmich", "README", "README") + "SHA256 = " + sha256Of("readme v2") +
            "\r\n" + fileBlock("Mappe", "Mappe.xlsx", "Mappe.xlsx"),
        "Mappe.xlsx"));
    struct : RunLog {
        std::vector<std::string> events;
        void note(const std::string& event) noexcept override { events.push_back(event); }
    } log;
    Main(platform, log);

    EXPECT_EQ(requestsFor("/updates/bin/app.exe"), 0);
    EXPECT_EQ(requestsFor("/updates/README"), 1);
    EXPECT_EQ(requestsFor("/updates/Mappe.xlsx"), 1);
    EXPECT_EQ(readApp("app.exe"), "app v1");
    EXPECT_EQ(readApp("README"), "readme v2");
    EXPECT_EQ(backups(), (std::vector<std::string>{"Mappe" + kStamp + ".xlsx", "README" + kStamp}));
    EXPECT_EQ(readApp("Temp\\revision.ini").substr(0, 14), "[Version]\r\n2.0");
    EXPECT_NE(std::find(log.events.begin(), log.events.end(),
                        "Unchanged, not fetched: " + appFolder() + "\\app.exe"),
              log.events.end());
    EXPECT_EQ(progress.shares, (std::vector<float>{1.0f / 3, 2.0f / 3, 1.0f}));
}

TEST_F(UpdateTest, FilesSavedAsUtf8WithBomAreReadAsUtf8) {
    const std::string bom = "\xEF\xBB\xBF";
    writeApp("Updater.ini", bom + "[Adresse]\r\n" + server->url("/updates/revision.ini") + "\r\n");
    writeApp("Temp\\revision.ini", description("1.0", "2", ""));
    serve("updates/groessen.xlsx", "Größen 2.0");
    publish(bom + description("2.0", "1",
                              fileBlock("Größen", "groessen.xlsx", "Übersicht\\Größen.xlsx"),
                              "Übersicht\\Größen.xlsx", "Größere Änderungen\r\n"));
    run();

    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes[0].text, informText("Größere Änderungen\r\n"));
    EXPECT_EQ(readApp("Übersicht\\Größen.xlsx"), "Größen 2.0");
    EXPECT_EQ(process.started, (std::vector<std::string>{excelLine("Übersicht\\Größen.xlsx")}));
}

TEST_F(UpdateTest, DeclinedUpdateChangesNothingAndIsOfferedAgain) {
    installOldRelease();
    publishRelease("2");
    ui.answers = {box::No};
    run();
    EXPECT_EQ(readApp("app.exe"), "app v1");
    // The record still names the installed version; the fresh copy is gone.
    EXPECT_EQ(readApp("Temp\\revision.ini"), description("1.0", "2", ""));
    EXPECT_FALSE(appHas("Temp\\revision.ini.new"));
    EXPECT_TRUE(progress.shown.empty());
    // The workbook comes from the settings file, which names one that is missing.
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].caption, "Start-Fehler");
    EXPECT_EQ(ui.boxes[1].style, box::Exclamation);
    EXPECT_EQ(ui.boxes[1].text, "Alt.xlsx konnte nicht gefunden werden!");

    ui.boxes.clear();
    ui.answers = {box::Yes};
    run();
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes[0].style, box::YesNoInformation);
    EXPECT_EQ(readApp("app.exe"), "app v2");
}

TEST_F(UpdateTest, MessageTypeDecidesBoxAndProgressWindow) {
    struct Case {
        std::string messageType;
        std::optional<box::Style> style;  // none: no box
        bool progressShown;
    };
    const std::vector<Case> cases = {
        {"0", {}, false},
        {"1", box::Information, true},
        {"2", box::YesNoInformation, true},
        {"1 ", {}, false},
        {"01", {}, false},
        {"", {}, false},
        {"3", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("Msg-Typ '" + c.messageType + "'");
        ui.boxes.clear();
        progress.shown.clear();
        progress.shares.clear();
        installOldRelease();
        std::filesystem::remove_all(root.native("App/Backup"));  // same stamp each round
        publishRelease(c.messageType);
        ui.answers = {box::Yes};
        run();
        if (!c.style) {
            EXPECT_TRUE(ui.boxes.empty());
        } else {
            ASSERT_EQ(ui.boxes.size(), 1u);
            EXPECT_EQ(ui.boxes[0].style, *c.style);
            EXPECT_EQ(ui.boxes[0].text,
                      c.style == box::Information ? informText(kChanges) : askText(kChanges));
        }
        EXPECT_EQ(progress.shown.size(), c.progressShown ? 1u : 0u);
        EXPECT_EQ(progress.shares.size(), 3u);  // the share is passed on either way
        EXPECT_EQ(readApp("app.exe"), "app v2");
        writeApp("app.exe", "app v1");
    }
}

TEST_F(UpdateTest, NotesOver64KiBCharactersAreCutInTheBox) {
    const std::string full(65'534, 'a');
    struct Case {
        const char* name;
        std::string notes;  // Windows-1252, as served
        std::string shown;  // UTF-8
    };
    const Case cases[] = {
        {"65,536 characters", full + "\r\n", full + "\r\n"},
        {"one more, an umlaut kept whole", full + "\xE4\r\n", full + "ä…\r\n"},
        {"far more", full + "\xE4" + std::string(200'000, 'b') + "\r\n", full + "äb…\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.boxes.clear();
        installOldRelease();
        publish(description("2.0", "2", "", "Mappe.xlsx", c.notes));
        ui.answers = {box::No};
        run();
        ASSERT_FALSE(ui.boxes.empty());
        EXPECT_EQ(ui.boxes[0].text, askText(c.shown));
    }
}

TEST_F(UpdateTest, VersionsCompareAsTextByUtf16CodeUnits) {
    struct Case {
        std::string installed;  // "-": no copy from an earlier run
        std::string offered;
        bool due;
    };
    const std::vector<Case> cases = {
        {"-", "1.0", true},
        {"-", "", false},
        {"1.9", "1.10", false},
        {"1.09", "1.10", true},
        {"2.0", "2.0 ", true},
        {"2.0", "2.0", false},
        {"2.0", "1.9", false},
        {"a", "B", false},
        {"B", "a", true},
        // Windows-1252 bytes: 0x80 is the euro sign U+20AC, above U+00FF (0xFF).
        {"\x80", "\xFF", false},
        {"\xFF", "\x80", true},
    };
    writeSettings();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed + " -> " + c.offered);
        ui.boxes.clear();
        std::filesystem::remove_all(root.native("App/Temp"));
        if (c.installed != "-") {
            writeApp("Temp\\revision.ini", description(c.installed, "1", ""));
        }
        publish(description(c.offered, "1", ""));
        run();
        EXPECT_EQ(ui.boxes.size(), c.due ? 1u : 0u);
    }
}

TEST_F(UpdateTest, DownloadErrorTouchesNoApplicationFileAndKeepsTheOfferOpen) {
    installOldRelease();
    publishRelease("1");
    serve("updates/lib/core.dll", "<html>gone</html>", 404);
    run();
    ASSERT_EQ(ui.boxes.size(), 3u);
    EXPECT_EQ(ui.boxes[1].caption, "Fehler beim Download einer Datei");
    EXPECT_EQ(ui.boxes[1].style, box::Critical);
    EXPECT_EQ(ui.boxes[1].text, "Beim Herunterladen trat ein Fehler auf.");
    EXPECT_EQ(ui.boxes[2].caption, "Start-Fehler");  // settings' workbook Alt.xlsx
    EXPECT_EQ(readApp("app.exe"), "app v1");
    EXPECT_TRUE(backups().empty());
    EXPECT_EQ(progress.shares.size(), 1u);
    // Not recorded as installed: the next run offers the same update again.
    EXPECT_EQ(readApp("Temp\\revision.ini"), description("1.0", "2", ""));
    serve("updates/lib/core.dll", "core v2");
    ui.boxes.clear();
    run();
    EXPECT_EQ(readApp("lib\\core.dll"), "core v2");
}

TEST_F(UpdateTest, MoveErrorStopsAtTheFileThatCannotBeReplaced) {
    installOldRelease();
    publishRelease("0");
    // A file where the Backup folder should be: no backup can be made, so
    // the current README stays and the new one cannot take its place.
    writeApp("Backup", "not a folder");
    run();
    ASSERT_GE(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Fehler beim Verschieben einer Datei");
    EXPECT_EQ(ui.boxes[0].style, box::Critical);
    EXPECT_EQ(ui.boxes[0].text,
              "Beim Verschieben der Dateien trat ein Fehler auf.\r\n"
              "Bitte prüfen Sie, ob alle Programme geschlossen\r\n"
              "sind und versuchen Sie die Aktualisierung erneut.");
    EXPECT_EQ(readApp("app.exe"), "app v1");
    EXPECT_TRUE(appHas("Temp\\app.exe"));
    EXPECT_EQ(readApp("Temp\\revision.ini"), description("1.0", "2", ""));
    EXPECT_FALSE(appHas("Temp\\revision.ini.new"));
    EXPECT_FALSE(appHas("Temp\\revision.ini.install"));
}

TEST_F(UpdateTest, NewFilesAndSubfoldersNeedNoBackup) {
    writeSettings();
    publishRelease("0");
    run();
    EXPECT_EQ(readApp("app.exe"), "app v2");
    EXPECT_EQ(readApp("lib\\core.dll"), "core v2");
    EXPECT_TRUE(backups().empty());
    // The workbook named by the description is not there.
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Mappe.xlsx konnte nicht gefunden werden!");
    EXPECT_TRUE(process.started.empty());
}

TEST_F(UpdateTest, BlocksAfterTheFirstFourUpToTheLastButOneAreFiles) {
    writeSettings();
    serve("updates/a.txt", "a");
    // Five blocks: no file block at all.
    publish(
        "[Version]\r\n1\r\n[Titel]\r\nT\r\n[Msg-Typ]\r\n0\r\n[Beschreibung]\r\n"
        "[Startdatei]\r\n");
    run();
    EXPECT_TRUE(progress.shares.empty());
    // A folder target keeps the server's name for the download.
    publish(
        description("2", "0", fileBlock("A", "a.txt", "a.txt") + fileBlock("A", "a.txt", "b.txt")));
    run();
    EXPECT_EQ(readApp("a.txt"), "a");
    EXPECT_EQ(readApp("b.txt"), "a");
}

TEST_F(UpdateTest, TargetsOutsideTheApplicationFolderAreRefused) {
    for (const std::string target : {"..\\evil.txt", "sub\\..\\..\\evil.txt", "\\evil.txt",
                                     "/evil.txt", "C:\\evil.txt", "evil.txt:stream"}) {
        SCOPED_TRACE(target);
        ui.boxes.clear();
        installOldRelease();
        serve("updates/evil.txt", "evil");
        publish(description(
            "2.0", "0",
            fileBlock("App", "evil.txt", "app.exe") + fileBlock("Evil", "evil.txt", target)));
        run();
        ASSERT_FALSE(ui.boxes.empty());
        EXPECT_EQ(ui.boxes[0].caption, "Fehler beim Download einer Datei");
        EXPECT_EQ(readApp("app.exe"), "app v1");
        EXPECT_FALSE(std::filesystem::exists(root.native("evil.txt")));
    }
}

TEST_F(UpdateTest, InterruptedInstallationIsOfferedAgain) {
    installOldRelease();
    publishRelease("0");
    // A run that died while moving files: its copy says 2.0, but its mark stayed.
    writeApp("Temp\\revision.ini", description("2.0", "0", ""));
    writeApp("Temp\\revision.ini.install", "");
    run();
    EXPECT_EQ(readApp("app.exe"), "app v2");
    EXPECT_FALSE(appHas("Temp\\revision.ini.install"));
}

TEST_F(UpdateTest, FailedFetchKeepsTheInstalledRecord) {
    installOldRelease();
    serve("updates/revision.ini", "Server Error", 500);
    run();
    EXPECT_EQ(readApp("Temp\\revision.ini"), description("1.0", "2", ""));
}

struct StartCase {
    const char* name;
    std::string fromDescription;  // "-": the run never gets to read a description
    std::string fromSettings;
    std::vector<std::string> present;
    std::string started;  // "" for none
    std::string missingMessage;
};

TEST_F(UpdateTest, StartFileComesFromTheDescriptionElseTheSettings) {
    const std::vector<StartCase> cases = {
        {"description wins", "Neu.xlsx", "Alt.xlsx", {"Neu.xlsx", "Alt.xlsx"}, "Neu.xlsx", ""},
        {"empty in description", "", "Alt.xlsx", {"Alt.xlsx"}, "Alt.xlsx", ""},
        {"description unusable", "-", "Alt.xlsx", {"Alt.xlsx"}, "Alt.xlsx", ""},
        {"missing workbook", "Neu.xlsx", "", {}, "", "Neu.xlsx konnte nicht gefunden werden!"},
        {"nowhere named", "", "", {"Alt.xlsx"}, "", ""},
        {"name with blanks", "Meine Mappe.xlsx", "", {"Meine Mappe.xlsx"}, "Meine Mappe.xlsx", ""},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(root.native("App"));
        std::filesystem::create_directories(root.native("App"));
        ui.boxes.clear();
        process.started.clear();
        writeSettings(c.fromSettings);
        for (const std::string& file : c.present) {
            writeApp(file, "workbook");
        }
        publish(c.fromDescription == "-" ? "" : description("1.0", "0", "", c.fromDescription));
        if (c.fromDescription == "-") {
            serve("updates/revision.ini", "", 404);
        }
        run();
        EXPECT_EQ(process.started, c.started.empty()
                                       ? std::vector<std::string>{}
                                       : std::vector<std::string>{excelLine(c.started)});
        if (c.missingMessage.empty()) {
            EXPECT_TRUE(ui.boxes.empty());
        } else {
            ASSERT_EQ(ui.boxes.size(), 1u);
            EXPECT_EQ(ui.boxes[0].caption, "Start-Fehler");
            EXPECT_EQ(ui.boxes[0].text, c.missingMessage);
        }
    }
}

TEST_F(UpdateTest, FailedFetchStartsTheWorkbookTheRecordNames) {
    installOldRelease();
    writeApp("Temp\\revision.ini", description("1.0", "2", "", "Mappe.xlsx"));
    serve("updates/revision.ini", "Server Error", 500);
    run();
    EXPECT_EQ(process.started, std::vector<std::string>{excelLine("Mappe.xlsx")});
}

TEST_F(UpdateTest, FailedStartAfterAnInstallationIsReportedOnce) {
    installOldRelease();  // the settings' Alt.xlsx is missing
    publishRelease("0");
    process.startFailure = Failure(53, "Datei nicht gefunden");
    EXPECT_EQ(run(), static_cast<int>(ExitStatus::Unexpected));
    EXPECT_EQ(readApp("app.exe"), "app v2");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Unbekannter Fehler");
    EXPECT_EQ(process.startAttempts, 1);
}

// The registered server's command line names the program's folder: no
// hidden instance is started just to ask it.
TEST_F(UpdateTest, TheRegisteredServerNamesTheProgramsFolder) {
    const struct {
        const char* command;
        const char* folder;
    } cases[] = {
        {"C:\\PROGRA~1\\MICROS~1\\Office16\\EXCEL.EXE /automation",
         "C:\\PROGRA~1\\MICROS~1\\Office16"},
        {"\"C:\\Program Files\\Office\\EXCEL.EXE\" -Embedding", "C:\\Program Files\\Office"},
        {"\\\\srv\\office\\EXCEL.EXE", "\\\\srv\\office"},
        {"EXCEL.EXE /automation", ""},
        {"\\EXCEL.EXE", ""},
        {"\"C:\\Office\\EXCEL.EXE", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(serverFolderOf(c.command), c.folder);
    }
    writeSettings("Mappe.xlsx");
    writeApp("Mappe.xlsx", "workbook");
    publish(description("1.0", "0", ""));
    spreadsheet.server = cases[0].command;
    run();
    EXPECT_EQ(process.started,
              std::vector<std::string>{std::string("\"") + cases[0].folder + "\\EXCEL.EXE\" \"" +
                                       appFolder() + "\\Mappe.xlsx\""});
    EXPECT_EQ(spreadsheet.created, 0);
}

TEST_F(UpdateTest, MissingSpreadsheetProgramIsReported) {
    writeSettings("Mappe.xlsx");
    writeApp("Mappe.xlsx", "workbook");
    publish(description("1.0", "0", ""));
    spreadsheet.installed = false;
    process.startFailure = Failure(2, "Das System kann die angegebene Datei nicht finden.");
    run();
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].caption, "Fehler 429");
    EXPECT_EQ(ui.boxes[0].style, box::Critical);
    EXPECT_EQ(ui.boxes[0].text, "Objekterstellung durch ActiveX-Komponente nicht möglich");
    EXPECT_EQ(ui.boxes[1].caption, "Unbekannter Fehler");
    EXPECT_EQ(process.startAttempts, 1);
}

// A file past what 31 bits count, 2 GiB and a byte of zeros (sparse on the
// server's side), comes whole through the real HTTP and file adapters.
TEST_F(UpdateTest, AFileOf2GiBAndOneByteIsInstalled) {
    if (wineVersion()) {
        GTEST_SKIP() << "natively only: 2 GiB through Wine's WinINet take about two minutes";
    }
    constexpr std::uintmax_t kSize = (std::uintmax_t{1} << 31) + 1;
    // Written once into Temp, then moved into the application folder.
    constexpr std::uintmax_t kRoomNeeded = std::uintmax_t{6} << 30;
    std::error_code error;
    const std::filesystem::space_info space = std::filesystem::space(root.native(), error);
    if (error || space.available < kRoomNeeded) {
        GTEST_SKIP() << "less than 6 GiB free below " << root.native() << " for a 2 GiB file";
    }
    const std::filesystem::path served = root.native("served.bin");
    std::ofstream(served, std::ios::binary).close();
    std::filesystem::resize_file(served, kSize);
    ScriptedReply whole;
    whole.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSize) +
                  "\r\nConnection: close\r\n\r\n";
    whole.file = served;
    answer("updates/big.bin", whole);
    installOldRelease();
    publish(description("2.0", "0",
                        fileBlock("Gross", "big.bin", "big.bin") +
                            "SHA256 = "
                            "b8030a8ab89280935633d8d991da3d9907c0f12e8b6fc3bfc515f4d440872b6e\r\n"
                            "Gr\xF6\xDF"
                            "e = 2147483649\r\n",
                        "Mappe.xlsx"));

    EXPECT_EQ(run(), 0);

    EXPECT_EQ(std::filesystem::file_size(root.native("App/big.bin"), error), kSize);
}

// The prefetch: three files with their SHA256, one of them installed already.
class PrefetchTest : public UpdateTest {
protected:
    void publishHashedRelease() {
        serve("updates/bin/app.exe", "app v2");
        serve("updates/lib/core.dll", "core v2");
        serve("updates/README", "readme v1");
        publish(description(
            "2.0", "2",
            fileBlock("App", "bin/app.exe", "app.exe") + "SHA256 = " + sha256Of("app v2") + "\r\n" +
                fileBlock("Core", "lib/core.dll", "lib\\core.dll") + "SHA256 = " +
                sha256Of("core v2") + "\r\n" + fileBlock("Liesmich", "README", "README") +
                "SHA256 = " + sha256Of("readme v1") + "\r\n",
            "Mappe.xlsx", kChanges));
    }
    int prefetch() {
        return Main(platform, log, kRevisionCheckTime, kLockPatience, RunMode::Prefetch);
    }
    std::string stored(const std::string& content) const {
        return "Temp\\Vorrat\\" + sha256Of(content);
    }
    std::vector<std::string> storeNames() const {
        std::vector<std::string> names;
        if (appHas("Temp\\Vorrat")) {
            for (const auto& entry :
                 std::filesystem::directory_iterator(root.native("App/Temp/Vorrat"))) {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // The run after a prefetch, answered Yes: app.exe fetched `appFetches`
    // times in all, core.dll once; both installed and the store empty.
    void expectInstalledAfterPrefetch(int appFetches) {
        ui.answers = {box::Yes};
        EXPECT_EQ(Main(platform, log), 0);
        EXPECT_EQ(requestsFor("/updates/bin/app.exe"), appFetches);
        EXPECT_EQ(requestsFor("/updates/lib/core.dll"), 1);
        EXPECT_EQ(readApp("app.exe"), "app v2");
        EXPECT_EQ(readApp("lib\\core.dll"), "core v2");
        EXPECT_TRUE(storeNames().empty());
    }
    RecordingRunLog log;
};

// A prefetch fetches what the run is to install and nothing else, shows and
// starts nothing and leaves the record; a second one asks only for the
// description; the run then fetches no file and leaves the store empty.
TEST_F(PrefetchTest, ThePrefetchedReleaseIsInstalledWithoutAFileFetched) {
    installOldRelease();
    publishHashedRelease();
    const std::string record = readApp("Temp\\revision.ini");

    EXPECT_EQ(prefetch(), 0);
    EXPECT_EQ(prefetch(), 0);

    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(progress.shown.empty());
    EXPECT_TRUE(process.started.empty());
    EXPECT_EQ(readApp("Temp\\revision.ini"), record);
    EXPECT_EQ(readApp("app.exe"), "app v1");
    EXPECT_FALSE(appHas("Temp\\Updater.status"));
    EXPECT_EQ(requestsFor("/updates/revision.ini"), 2);
    EXPECT_EQ(requestsFor("/updates/bin/app.exe"), 1);
    EXPECT_EQ(requestsFor("/updates/lib/core.dll"), 1);
    EXPECT_EQ(requestsFor("/updates/README"), 0);
    EXPECT_EQ(readApp(stored("app v2")), "app v2");
    EXPECT_EQ(readApp(stored("core v2")), "core v2");
    EXPECT_EQ(storeNames().size(), 2u);
    EXPECT_EQ(log.count("Prefetch: version \"2.0\": 0 file(s) fetched, 2 already in the store"), 1);

    expectInstalledAfterPrefetch(1);
    EXPECT_EQ(log.count("Taken from the prefetch store: "), 2);
    EXPECT_EQ(process.started, (std::vector<std::string>{excelLine("Mappe.xlsx")}));
}

// A stored file that lost its digest is fetched again by the run; what the
// description does not name leaves the store at the prefetch.
TEST_F(PrefetchTest, AStoredFileWithoutItsDigestIsFetchedAgain) {
    installOldRelease();
    publishHashedRelease();
    writeApp("Temp\\Vorrat\\" + sha256Of("release 1.5"), "release 1.5");
    ASSERT_EQ(prefetch(), 0);
    EXPECT_EQ(storeNames().size(), 2u);
    writeApp(stored("app v2"), "app v2 with a virus");

    expectInstalledAfterPrefetch(2);
    EXPECT_EQ(log.count("does not have its SHA256: deleted"), 1);
}

// With nothing newer a prefetch asks for the description alone and leaves
// the record as it is, also where a normal run would write it.
TEST_F(PrefetchTest, NothingNewerIsOneRequest) {
    installOldRelease();
    publish(description("1.0", "2", "", "Neu.xlsx"));
    const std::string record = readApp("Temp\\revision.ini");

    EXPECT_EQ(prefetch(), 0);

    EXPECT_EQ(server->requests().size(), 1u);
    EXPECT_EQ(readApp("Temp\\revision.ini"), record);
    EXPECT_TRUE(process.started.empty());
}

// A held folder lock or an installation under way ends a prefetch quietly
// with status 1, nothing fetched; a missing settings file shows no box.
TEST_F(PrefetchTest, APrefetchGivesWayAndShowsNothing) {
    struct HeldLock : FakeProcess {
        bool lockFolder(const std::string&, std::string& why) override {
            why = "another run holds it";
            return false;
        }
    } held;
    struct Case {
        const char* name;
        std::function<void()> arrange;
        ExitStatus status;
        std::string logged;
    };
    const std::vector<Case> cases = {
        {"lock held", [&] { process.lockHost = &held; }, ExitStatus::AnotherInstance,
         "cannot be had (another run holds it): nothing is fetched"},
        {"journal", [&] { writeApp("Temp\\revision.ini.install", ""); },
         ExitStatus::AnotherInstance, "an installation is under way or was interrupted"},
        {"no settings", [&] { std::filesystem::remove(root.native("App/Updater.ini")); },
         ExitStatus::NoSettings, "Prefetch: no box shown: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        installOldRelease();
        publishHashedRelease();
        c.arrange();

        EXPECT_EQ(prefetch(), static_cast<int>(c.status));

        EXPECT_EQ(requestsFor("/updates/bin/app.exe"), 0);
        EXPECT_TRUE(storeNames().empty());
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_EQ(log.count(c.logged), 1);
        process.lockHost = nullptr;
        std::filesystem::remove(root.native("App/Temp/revision.ini.install"));
        log.lines.clear();
    }
}

}  // namespace
}  // namespace morvane::test
