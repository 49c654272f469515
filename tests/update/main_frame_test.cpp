#include <gtest/gtest.h>

#include "support/update_run_fixture.h"

namespace morvane::test {
namespace {

using MainFrameTest = UpdateRunTest;

const std::string kReportHeading = "Es ist ein unerwarteter Fehler aufgetreten:";

TEST_F(MainFrameTest, MissingSettingsGiveOneBoxNamingTheSettingsFile) {
    for (const std::string exe : {"Updater.exe", "Morvane Start.exe"}) {
        SCOPED_TRACE(exe);
        ui.boxes.clear();
        process.name = exe;
        const std::string ini = exe.substr(0, exe.size() - 4) + ".ini";
        run();
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].caption, "Fehler");
        EXPECT_EQ(ui.boxes[0].style, box::Exclamation);
        EXPECT_EQ(ui.boxes[0].text,
                  "Für die Aktualisierung muss eine Server-Adresse angegeben werden.\r\n"
                  "Dies geschieht über eine Datei " +
                      ini + " im selben Verzeichnis.");
    }
    EXPECT_EQ(process.startAttempts, 0);
    EXPECT_TRUE(server->requests().empty());
    EXPECT_FALSE(appHas("Temp"));
    EXPECT_EQ(progress.closes, 2);
    EXPECT_EQ(ui.cursorChanges.back(), "arrow");
}

TEST_F(MainFrameTest, SecondInstanceEndsSilently) {
    writeSettings("Mappe.xlsx");
    writeApp("Mappe.xlsx", "workbook");
    process.otherInstance = true;
    run();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(server->requests().empty());
    EXPECT_EQ(process.startAttempts, 0);
    EXPECT_EQ(progress.closes, 0);
}

TEST_F(MainFrameTest, UnexpectedFailureIsReportedThenTheClosingStepsRun) {
    writeSettings("Mappe.xlsx");
    writeApp("Mappe.xlsx", "workbook");
    publish(description("1.0", "0", ""));
    process.startFailure = Failure(53, "Datei nicht gefunden");
    run();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Unbekannter Fehler");
    EXPECT_EQ(ui.boxes[0].style, box::Critical);
    EXPECT_EQ(ui.boxes[0].text, kReportHeading +
                                    "\r\nDatei nicht gefunden (53)\r\n"
                                    "[Zeile AppMorvane.MainModule.Main]");
    // The closing steps ran once; their failure was reported, and the run ended.
    EXPECT_EQ(process.startAttempts, 1);
    EXPECT_EQ(progress.closes, 1);
}

TEST_F(MainFrameTest, SettingsWithOnlyAnAddressAndNoNewerVersionEndQuietly) {
    writeSettings();
    publish(description("1.0", "2", ""));
    writeApp("Temp\\revision.ini", description("1.0", "2", ""));
    run();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(process.startAttempts, 0);
}

TEST_F(MainFrameTest, EmptyAddressIsNoHttpAddress) {
    writeApp("Updater.ini", "[Startdatei]\r\nMappe.xlsx\r\n");
    writeApp("Mappe.xlsx", "workbook");
    run();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Only HTTP-service supported!");
    EXPECT_EQ(ui.boxes[0].shownCaption(), "Morvane");
    ASSERT_EQ(process.started.size(), 1u);
}

}  // namespace
}  // namespace morvane::test
