#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <numeric>
#include <set>

#include "fakes/fake_file_system.h"
#include "fakes/recording_run_log.h"
#include "install/patient_file_system.h"
#include "release/release.h"
#include "support/scripted_file_system.h"
#include "support/update_run_fixture.h"

namespace morvane::test {
namespace {

using Files = std::map<std::string, std::string>;

std::string fileBlock(const std::string& title, const std::string& source,
                      const std::string& target) {
    return "[" + title + "]\r\nQuelle = " + source + "\r\nZiel = " + target + "\r\n";
}

std::string hostRelative(const std::filesystem::path& path, const std::filesystem::path& base) {
    std::string name = path.lexically_relative(base).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// An installed 1.0 (two files and its workbook) and a published 2.0 that
// replaces both files and adds one in a subfolder and a new workbook.
class InstallationTest : public UpdateRunTest {
protected:
    const Files kOld = {{"Alt.xlsx", "alt"}, {"app.exe", "app v1"}, {"README", "readme v1"}};
    const Files kNew = {{"Alt.xlsx", "alt"},
                        {"app.exe", "app v2"},
                        {"lib\\core.dll", "core v2"},
                        {"Neu.xlsx", "neu"},
                        {"README", "readme v2"}};
    const std::string kOldRecord = description("1.0", "0", "", "Alt.xlsx");

    void installOld() {
        std::filesystem::remove_all(root.native("App"));
        writeSettings();
        for (const auto& [name, content] : kOld) {
            writeApp(name, content);
        }
        writeApp("Temp\\revision.ini", kOldRecord);
    }
    void publishNew(const std::string& messageType = "0") {
        serve("updates/app.exe", "app v2");
        serve("updates/lib/core.dll", "core v2");
        serve("updates/README", "readme v2");
        serve("updates/Neu.xlsx", "neu");
        publish(description("2.0", messageType,
                            fileBlock("App", "app.exe", "app.exe") +
                                fileBlock("Core", "lib/core.dll", "lib\\core.dll") +
                                fileBlock("Liesmich", "README", "README") +
                                fileBlock("Mappe", "Neu.xlsx", "Neu.xlsx"),
                            "Neu.xlsx"));
    }
    void serverDown() { serve("updates/revision.ini", "down", 503); }

    // The application as the user has it: every file but Temp and Backup.
    Files application() const { return filesBelow("", {"Temp", "Backup", "Updater.ini"}); }
    Files filesBelow(const std::string& folder, const std::vector<std::string>& skip = {}) const {
        Files found;
        const std::filesystem::path base = root.native("App") / folder;
        if (!std::filesystem::exists(base)) {
            return found;
        }
        for (auto it = std::filesystem::recursive_directory_iterator(base);
             it != std::filesystem::recursive_directory_iterator(); ++it) {
            const std::string name = hostRelative(it->path(), base);
            if (std::find(skip.begin(), skip.end(), name) != skip.end()) {
                it.disable_recursion_pending();
            } else if (it->is_regular_file()) {
                found[name] = readApp((folder.empty() ? "" : folder + "\\") + name);
            }
        }
        return found;
    }
    std::string started() const { return process.started.empty() ? "" : process.started.back(); }
    std::string startOf(const std::string& workbook) const {
        return "\"" + spreadsheet.path + "\\EXCEL.EXE\" \"" + appFolder() + "\\" + workbook + "\"";
    }
    // Left in Temp besides the record: nothing after an installation.
    // The record, and the exit status the run leaves for the next one.
    void expectOnlyTheRecordInTemp() const {
        const Files temp = filesBelow("Temp");
        EXPECT_EQ(temp.size(), 2u);
        EXPECT_EQ(temp.count("revision.ini"), 1u);
        EXPECT_EQ(temp.count("Updater.status"), 1u);
    }
    void expectOldAndOfferedAgain() {
        EXPECT_EQ(application(), kOld);
        EXPECT_EQ(readApp("Temp\\revision.ini"), kOldRecord);
        EXPECT_FALSE(appHas("Temp\\revision.ini.new"));
        EXPECT_FALSE(appHas("Temp\\revision.ini.install"));
        ui.boxes.clear();
        run();
        EXPECT_EQ(application(), kNew);
        expectOnlyTheRecordInTemp();
    }
};

TEST_F(InstallationTest, MoveErrorRollsBackEveryMoveAtTheFirstAMiddleAndTheLastFile) {
    for (const std::string failing : {"Temp\\app.exe", "Temp\\lib\\core.dll", "Temp\\Neu.xlsx"}) {
        SCOPED_TRACE(failing);
        installOld();
        publishNew();
        ui.boxes.clear();
        process.started.clear();
        ScriptedFileSystem scripted(files);
        scripted.failMovesFrom = failing;
        runOn(scripted);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].caption, "Fehler beim Verschieben einer Datei");
        EXPECT_EQ(filesBelow("Backup"), Files{});
        EXPECT_EQ(process.started.size(), 0u);  // the settings name no workbook
        expectOldAndOfferedAgain();
    }
}

// Every step of the installation from its journal on: creating, writing,
// moving, replacing and deleting files.
TEST_F(InstallationTest, CutOffAtAnyStepLeavesTheOldOrTheNewVersionAndTheNextRunInstalls) {
    for (long cut = 0;; ++cut) {
        SCOPED_TRACE("cut off after " + std::to_string(cut) + " steps");
        installOld();
        publishNew();
        ScriptedFileSystem scripted(files);
        scripted.countFrom = "revision.ini.install";
        scripted.crashAfter = cut;
        ui.boxes.clear();
        try {
            runOn(scripted);
        } catch (const SimulatedCrash&) {
        }
        if (!scripted.crashed) {
            EXPECT_EQ(ui.texts(), std::vector<std::string>{});
            EXPECT_EQ(application(), kNew);
            EXPECT_GE(cut, 12);  // the journal, six moves, the record
            break;
        }
        // The server is down: whatever the cut-off left, the next run puts
        // the complete version of its record in place and starts it.
        serverDown();
        ui.boxes.clear();
        process.started.clear();
        run();
        EXPECT_TRUE(ui.boxes.empty());
        const Files now = application();
        if (now == kNew) {
            EXPECT_EQ(started(), startOf("Neu.xlsx"));
        } else {
            EXPECT_EQ(now, kOld);
            EXPECT_EQ(started(), startOf("Alt.xlsx"));
        }
        publishNew();
        run();
        EXPECT_EQ(application(), kNew);
        EXPECT_EQ(started(), startOf("Neu.xlsx"));
        expectOnlyTheRecordInTemp();
        // Nothing lost: the replaced versions are kept in Backup.
        Files kept;
        for (const auto& [name, content] : filesBelow("Backup")) {
            kept[content] = name;
        }
        EXPECT_EQ(kept.count("app v1") + kept.count("readme v1"), 2u);
    }
}

TEST_F(InstallationTest, CutOffWhileMovingThenWhileDownloadingStillEndsComplete) {
    installOld();
    publishNew();
    ScriptedFileSystem moving(files);
    moving.crashWhen = [](const std::string& operation, const std::string& path) {
        return operation == "move" && path.ends_with("Temp\\lib\\core.dll");
    };
    EXPECT_THROW(runOn(moving), SimulatedCrash);
    EXPECT_EQ(readApp("app.exe"), "app v2");  // the folder is mixed now

    ScriptedFileSystem downloading(files);
    downloading.crashWhen = [](const std::string& operation, const std::string& path) {
        return operation == "create" && path.ends_with("README.part");
    };
    EXPECT_THROW(runOn(downloading), SimulatedCrash);
    EXPECT_EQ(application(), kOld);

    run();
    EXPECT_EQ(application(), kNew);
    expectOnlyTheRecordInTemp();
}

TEST_F(InstallationTest, CutOffWhileTheQuestionIsOpenAsksAgain) {
    installOld();
    publishNew("2");
    ui.answers = {box::Yes};
    ui.onBox = [](const ShownBox&) { throw SimulatedCrash{}; };
    EXPECT_THROW(run(), SimulatedCrash);
    ui.onBox = nullptr;
    ui.boxes.clear();
    ui.answers = {box::Yes};
    run();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].style, box::YesNoInformation);
    EXPECT_EQ(application(), kNew);
}

TEST_F(InstallationTest, FileInUseIsReportedBeforeAnythingMoves) {
    const std::string held = appFolder() + "\\README";
    for (const box::Answer answer : {box::Retry, box::Cancel}) {
        SCOPED_TRACE(answer == box::Retry ? "Retry" : "Cancel");
        installOld();
        publishNew();
        ui.boxes.clear();
        ui.answers = {box::Retry, answer};
        int asked = 0;
        ScriptedFileSystem scripted(files);
        scripted.inUseAnswer = [&](const std::string& path) {
            if (path != held) {
                return false;
            }
            // Held while the first two boxes are open; let go after that.
            EXPECT_EQ(application(), kOld);
            return ++asked <= 2;
        };
        runOn(scripted);
        ASSERT_GE(ui.boxes.size(), 2u);
        EXPECT_EQ(ui.boxes[0].caption, "Datei in Verwendung");
        EXPECT_EQ(ui.boxes[0].style, box::RetryCancelWarning);
        EXPECT_EQ(ui.boxes[0].text,
                  "Die Datei README wird gerade von einem anderen Programm verwendet.\r\n"
                  "Bitte schließen Sie das Programm und wählen Sie „Wiederholen“.");
        EXPECT_EQ(ui.boxes.size(), 2u);  // no move error after a cancel
        if (answer == box::Retry) {
            EXPECT_EQ(application(), kNew);
        } else {
            expectOldAndOfferedAgain();
        }
    }
}

TEST_F(InstallationTest, TemporaryFilesOfKilledRunsAreRemoved) {
    installOld();
    publishNew();
    writeApp("Temp\\app.exe.part", "cut");
    for (int number = 1; number < 100; ++number) {
        writeApp("Temp\\app.exe." + std::to_string(number) + ".part", "cut");
    }
    writeApp("Temp\\revision.ini.new", "a fresh copy never installed from");
    run();
    EXPECT_EQ(application(), kNew);
    expectOnlyTheRecordInTemp();
}

// The journal is the installation's first change: when it cannot be made,
// nothing has moved, the failure is reported and the next run installs.
TEST_F(InstallationTest, JournalThatCannotBeCreatedStopsBeforeTheFirstMove) {
    publishNew();
    const std::string app = "C:\\App\\";
    FakeFileSystem disk;
    disk.addFile(app + "Updater.ini",
                 "[Adresse]\r\n" + server->url("/updates/revision.ini") + "\r\n");
    for (const auto& [name, content] : kOld) {
        disk.addFile(app + name, content);
    }
    disk.addFile(app + "Temp\\revision.ini", kOldRecord);
    disk.fail(FakeFileSystem::Operation::CreateNew, app + "Temp\\revision.ini.install",
              Failure::of(err::AccessDenied), 1);
    process.folder = "C:\\App";

    runOn(disk);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Unbekannter Fehler");
    for (const auto& [name, content] : kOld) {
        EXPECT_EQ(disk.content(app + name), content) << name;
    }
    EXPECT_EQ(disk.content(app + "Temp\\revision.ini"), kOldRecord);
    EXPECT_FALSE(disk.hasFolder(app + "Backup"));

    runOn(disk);
    for (const auto& [name, content] : kNew) {
        EXPECT_EQ(disk.content(app + name), content) << name;
    }
}

TEST_F(InstallationTest, TwoInstallationsWithinOneSecondKeepEveryBackup) {
    installOld();
    publishNew();
    run();
    serve("updates/app.exe", "app v3");
    serve("updates/README", "readme v3");
    publish(description(
        "3.0", "0",
        fileBlock("App", "app.exe", "app.exe") + fileBlock("Liesmich", "README", "README")));
    run();
    EXPECT_EQ(readApp("app.exe"), "app v3");
    const Files backups = filesBelow("Backup");
    EXPECT_EQ(backups.at("app_2024-03-05_14.07.09.exe"), "app v1");
    EXPECT_EQ(backups.at("app_2024-03-05_14.07.09_2.exe"), "app v2");
    // A name without extension gets its counter last.
    EXPECT_EQ(backups.at("README_2024-03-05_14.07.09"), "readme v1");
    EXPECT_EQ(backups.at("README_2024-03-05_14.07.09_2"), "readme v2");
}

// Each refused block fails as a download: nothing in the application changes.
TEST_F(InstallationTest, BlocksNotNamingAPlainFileOfTheApplicationAreRefused) {
    std::vector<std::string> refused;
    for (const std::string target : {"lib\\",
                                     "",
                                     "lib",
                                     "Temp",
                                     ".\\x.txt",
                                     "a\\\\x.txt",
                                     "x.",
                                     "a?b",
                                     "NUL",
                                     "nul.txt",
                                     "sub\\COM1",
                                     "LPT9.dat",
                                     "COM0",
                                     "lpt\xB9.txt" /* Windows-1252 "¹" */,
                                     "revision.ini",
                                     "REVISION.INI.new",
                                     "revision.ini.install",
                                     "Updater.log",
                                     "updater.LOCK",
                                     "x.txt.part",
                                     "Temp\\revision.ini",
                                     "Temp\\revision.ini.new",
                                     "Temp\\a.txt",
                                     "Temp\\revision.ini.install",
                                     "Temp\\Updater.log",
                                     "backup\\x.txt",
                                     "Updater.exe",
                                     "UPDATER.INI"}) {
        refused.push_back(fileBlock("X", "x.txt", target));
    }
    // Without a "Quelle" the request would fetch the folder's listing.
    serve("updates/", "<html><body>Index of /updates</body></html>");
    refused.push_back(fileBlock("X", "", "b.txt"));
    refused.push_back("[X]\r\nZiel = b.txt\r\n");
    for (const std::string& block : refused) {
        SCOPED_TRACE(block);
        installOld();
        writeApp("lib\\keep.dll", "keep");
        writeApp("Temp\\Updater.log", "log");
        ui.boxes.clear();
        serve("updates/x.txt", "x");
        publish(description("2.0", "0", fileBlock("App", "x.txt", "app.exe") + block));
        EXPECT_EQ(run(), static_cast<int>(ExitStatus::DownloadFailed));
        ASSERT_FALSE(ui.boxes.empty());
        EXPECT_EQ(ui.boxes[0].caption, "Fehler beim Download einer Datei");
        Files kept = kOld;
        kept["lib\\keep.dll"] = "keep";
        EXPECT_EQ(application(), kept);
        EXPECT_EQ(readApp("Updater.ini").find("[Adresse]"), 0u);
        EXPECT_EQ(readApp("Temp\\revision.ini"), kOldRecord);
        EXPECT_EQ(readApp("Temp\\Updater.log"), "log");
        EXPECT_FALSE(appHas("Backup"));
    }
    for (const RecordedRequest& request : server->requests()) {
        EXPECT_NE(request.target, "/updates/");
    }
}

TEST_F(InstallationTest, ThePictureOfTheProgressWindowIsInstalled) {
    installOld();
    serve("updates/Updater.gif", "GIF89a");
    publish(description("2.0", "0", fileBlock("Bild", "Updater.gif", "Updater.gif")));
    EXPECT_EQ(run(), static_cast<int>(ExitStatus::Done));
    EXPECT_EQ(readApp("Updater.gif"), "GIF89a");
}

// A journal left behind is trusted only as far as its installation went:
// with one entry it could not have written, nothing is put back from it.
TEST_F(InstallationTest, JournalWithAnEntryItsInstallationCouldNotWriteIsKeptAndNotActedOn) {
    struct Forged {
        const char* name;
        std::string target;
        std::string backup;
    };
    const std::vector<Forged> cases = {
        {"Ziel not in the fresh description", "Alt.xlsx", "Alt_2024-03-05_14.07.09.xlsx"},
        {"Ziel the rules refuse", "Temp\\revision.ini", "Temp\\revision_2024-03-05_14.07.09.ini"},
        {"backup name not dated", "app.exe", "app_alt.exe"},
    };
    const std::string fresh = description(
        "2.0", "0",
        fileBlock("App", "app.exe", "app.exe") + fileBlock("Liesmich", "README", "README") +
            fileBlock("Record", "revision.ini", "Temp\\revision.ini"));
    for (const Forged& c : cases) {
        SCOPED_TRACE(c.name);
        installOld();
        serverDown();
        ui.boxes.clear();
        writeApp("Temp\\revision.ini.new", fresh);
        // Entries in the dated form, each with a backup that would come back.
        const std::string journal =
            "Morvane-Installation 1\r\nREADME\tREADME_2024-03-05_14.07.09\r\n" + c.target + "\t" +
            c.backup + "\r\n";
        writeApp("Temp\\revision.ini.install", journal);
        writeApp("Backup\\README_2024-03-05_14.07.09", "readme v0");
        writeApp("Backup\\" + c.backup, "forged");
        const Files backup = filesBelow("Backup");

        EXPECT_EQ(run(), static_cast<int>(ExitStatus::MoveFailed));
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].caption, "Fehler beim Verschieben einer Datei");
        EXPECT_EQ(application(), kOld);
        EXPECT_EQ(filesBelow("Backup"), backup);
        EXPECT_EQ(readApp("Temp\\revision.ini"), kOldRecord);
        EXPECT_EQ(readApp("Temp\\revision.ini.install"), journal);
    }
}

// A run cut off while moving leaves its journal, whose files tell how far it
// went: the next run puts every file back, or keeps the new version once the
// record names it. Also from a journal in the form earlier versions wrote.
TEST_F(InstallationTest, AnInterruptedInstallationIsPutBackOrKeptWhereverItStopped) {
    const std::string app = "app.exe\tapp_2024-03-05_14.07.09.exe\r\n";
    const std::string readme = "README\tREADME_2024-03-05_14.07.09\r\n";
    const std::string plan = "Morvane-Installation 2\r\n" + app + readme + "End of plan\r\n";
    const std::string stepwise = "Morvane-Installation 1\r\n";
    // The installation's moves in their order.
    const std::vector<std::pair<std::string, std::string>> moves = {
        {"app.exe", "Backup\\app_2024-03-05_14.07.09.exe"},
        {"Temp\\app.exe", "app.exe"},
        {"README", "Backup\\README_2024-03-05_14.07.09"},
        {"Temp\\README", "README"}};
    struct Case {
        const char* name;
        std::string journal;
        std::size_t moved;
        bool recorded;  // the record names the new version
    };
    const std::vector<Case> cases = {
        {"plan, nothing moved", plan, 0, false},
        {"plan, first file backed up", plan, 1, false},
        {"plan, first file in place", plan, 2, false},
        {"plan, all moved", plan, 4, false},
        {"plan, all moved and recorded", plan, 4, true},
        {"plan cut off while written", "Morvane-Installation 2\r\n" + app, 0, false},
        {"earlier form, first file in place", stepwise + app, 2, false},
        {"earlier form, second file backed up", stepwise + app + readme, 3, false},
        {"earlier form, all moved and recorded", stepwise + app + readme, 4, true},
    };
    const std::string fresh = description(
        "2.0", "0",
        fileBlock("App", "app.exe", "app.exe") + fileBlock("Liesmich", "README", "README"),
        "Alt.xlsx");
    const Files updated = {{"Alt.xlsx", "alt"}, {"app.exe", "app v2"}, {"README", "readme v2"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        installOld();
        serverDown();
        ui.boxes.clear();
        writeApp("Temp\\revision.ini.new", fresh);
        writeApp("Temp\\revision.ini.install", c.journal);
        writeApp("Temp\\app.exe", "app v2");
        writeApp("Temp\\README", "readme v2");
        for (std::size_t step = 0; step < c.moved; ++step) {
            writeApp(moves[step].second, readApp(moves[step].first));
            files.deleteFile(appFolder() + "\\" + moves[step].first);
        }
        if (c.recorded) {
            writeApp("Temp\\revision.ini", fresh);
        }
        run();
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_EQ(application(), c.recorded ? updated : kOld);
        EXPECT_EQ(filesBelow("Backup").size(), c.recorded ? 2u : 0u);
        EXPECT_FALSE(appHas("Temp\\revision.ini.install"));
        EXPECT_FALSE(appHas("Temp\\revision.ini.new"));
    }
}

// After a power cut the disk holds only what was flushed: every file's data
// is flushed before a rename puts it in place (the downloads once each, all
// together, and only inside Temp before that), the journal and its folder
// before the first move, and the folders of the moves are synced before the
// record says the version is installed.
TEST_F(InstallationTest, EveryFileIsFlushedBeforeItsRenameAndTheMovesBeforeTheRecord) {
    installOld();
    publishNew();
    ScriptedFileSystem scripted(files);
    runOn(scripted);
    ASSERT_EQ(application(), kNew);

    const std::string temp = appFolder() + "\\Temp\\";
    std::set<std::string> unflushed;
    std::map<std::string, int> flushes;
    std::vector<std::string> renamed;
    for (const std::string& call : scripted.calls) {
        const std::size_t blank = call.find(' ');
        const std::string what = call.substr(0, blank);
        const std::string path = call.substr(blank + 1, call.find(" > ") - blank - 1);
        const std::size_t arrow = call.find(" > ");
        const std::string to = arrow == std::string::npos ? "" : call.substr(arrow + 3);
        if (what == "write") {
            unflushed.insert(path);
        } else if (what == "flush") {
            unflushed.erase(path);
            ++flushes[path];
        } else if ((what == "move" || what == "replace") && unflushed.erase(path) == 1) {
            // A download still unflushed moves only from its part to its name.
            EXPECT_TRUE(path.starts_with(temp) && to.starts_with(temp)) << call;
            unflushed.insert(to);
        }
        if (what == "move" || what == "replace") {
            renamed.push_back(call);
        }
    }
    for (const std::string download : {"app.exe", "lib\\core.dll", "README", "Neu.xlsx"}) {
        EXPECT_EQ(flushes[temp + download], 1) << download;
    }
    const auto firstMove =
        std::find_if(scripted.calls.begin(), scripted.calls.end(),
                     [](const std::string& call) { return call.starts_with("move "); });
    ASSERT_GE(firstMove - scripted.calls.begin(), 3);
    const std::string journal = temp + "revision.ini.install";
    EXPECT_EQ(std::vector<std::string>(firstMove - 3, firstMove),
              (std::vector<std::string>{"flush " + journal, "close " + journal,
                                        "sync " + appFolder() + "\\Temp"}));
    // Four downloads, the description, the description being installed,
    // four moves into place, two backups and the record.
    EXPECT_EQ(renamed.size(), 13u);
    const std::string app = appFolder();
    const std::string record =
        "replace " + app + "\\Temp\\revision.ini.part > " + app + "\\Temp\\revision.ini";
    EXPECT_EQ(renamed.back(), record);
    const auto recordAt = std::find(scripted.calls.begin(), scripted.calls.end(), record);
    const auto lastMove =
        std::find_if(scripted.calls.rbegin(), scripted.calls.rend(), [](const std::string& call) {
            return call.starts_with("move ");
        }).base();
    const std::vector<std::string> between(lastMove, recordAt);
    for (const std::string& folder : {app, app + "\\lib", app + "\\Backup", app + "\\Temp"}) {
        EXPECT_EQ(std::count(between.begin(), between.end(), "sync " + folder), 1) << folder;
    }
    EXPECT_EQ(std::count(recordAt, scripted.calls.end(), "sync " + app + "\\Temp"), 1);
}

// Temp is open to others: what becomes the record is the description that
// was checked, whatever is written in place of the one being installed.
TEST_F(InstallationTest, TheRecordIsTheDescriptionThatWasCheckedWhateverStandsBesideIt) {
    installOld();
    publishNew();
    const std::string forged = description("9.9", "0", "", "Alt.xlsx");
    ui.onPump = [&] { writeApp("Temp\\revision.ini.new", forged); };
    run();
    ui.onPump = nullptr;
    EXPECT_EQ(application(), kNew);
    EXPECT_EQ(parseRelease(readApp("Temp\\revision.ini")).version, "2.0");
}

TEST_F(InstallationTest, TheWindowIsAnsweredOncePerFileWhileMovingAndRollingBack) {
    for (const bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "rolled back" : "installed");
        installOld();
        publishNew();
        ScriptedFileSystem scripted(files);
        scripted.failMovesFrom = failing ? "Temp\\Neu.xlsx" : "";
        ui.onPump = [&] { scripted.calls.push_back("pump"); };
        runOn(scripted);
        ui.onPump = nullptr;
        const auto journal = std::find_if(
            scripted.calls.begin(), scripted.calls.end(),
            [](const std::string& call) { return call.ends_with("revision.ini.install"); });
        // Four files moved; when the last fails, four put back.
        EXPECT_EQ(std::count(journal, scripted.calls.end(), "pump"), failing ? 8 : 4);
    }
}

TEST_F(InstallationTest, AFileTheApplicationDoesNotHaveYetIsLoggedAsNew) {
    installOld();
    publishNew();
    RecordingRunLog log;
    Main(platform, log);
    EXPECT_EQ(application(), kNew);
    EXPECT_EQ(log.count("New file " + appFolder() + "\\Neu.xlsx: nothing to back up"), 1);
    EXPECT_EQ(log.count("New file " + appFolder() + "\\lib\\core.dll: nothing to back up"), 1);
    EXPECT_EQ(log.count("Not moved"), 0);
}

// A virus scanner opens a freshly written file for a moment: a file of the
// update, or the new record of a run without update.
TEST_F(InstallationTest, WhatAScannerHoldsForAMomentIsRetriedAndRolledBackWhenItStays) {
    struct Case {
        std::string held;
        int times;  // negative: held for good
        bool update;
    };
    for (const Case& c : {Case{"Temp\\app.exe", 3, true}, Case{"revision.ini.part", 2, false},
                          Case{"Temp\\app.exe", -1, true}}) {
        SCOPED_TRACE(c.held + " " + std::to_string(c.times));
        installOld();
        if (c.update) {
            publishNew();
        } else {
            publish(kOldRecord);
        }
        ui.boxes.clear();
        ScriptedFileSystem scripted(files);
        scripted.failMovesFrom = c.held;
        scripted.failMovesTimes = c.times;
        RecordingRunLog log;
        std::vector<int> pauses;
        PatientFileSystem patient(scripted, log, [&](int pause) { pauses.push_back(pause); });
        Platform patientPlatform{patient, clock, ui, process, http, progress, spreadsheet};
        const int exitStatus = Main(patientPlatform, log);
        if (c.times > 0) {
            EXPECT_EQ(exitStatus, static_cast<int>(ExitStatus::Done));
            EXPECT_TRUE(ui.boxes.empty());
            EXPECT_EQ(log.count("Retry "), c.times);
            EXPECT_EQ(application(), c.update ? kNew : kOld);
            EXPECT_FALSE(appHas("Temp\\revision.ini.new"));
        } else {
            EXPECT_EQ(exitStatus, static_cast<int>(ExitStatus::MoveFailed));
            EXPECT_EQ(std::accumulate(pauses.begin(), pauses.end(), 0),
                      PatientFileSystem::kPatience);
            ASSERT_EQ(ui.boxes.size(), 1u);
            EXPECT_EQ(ui.boxes[0].caption, "Fehler beim Verschieben einer Datei");
            expectOldAndOfferedAgain();
        }
    }
}

// Windows paths of more than MAX_PATH (260) characters.
TEST_F(InstallationTest, ATargetWhoseFullPathExceeds260CharactersIsInstalled) {
    installOld();
    const std::string folder(60, 'f');
    const std::string target =
        folder + "\\" + folder + "\\" + folder + "\\" + folder + "\\Auswertung.xlsx";
    ASSERT_GT((appFolder() + "\\Backup\\" + target).size(), 260u);
    serve("updates/Auswertung.xlsx", "lang");
    publish(description("2.0", "0", fileBlock("Lang", "Auswertung.xlsx", target)));
    run();
    EXPECT_TRUE(ui.boxes.empty());
    std::unique_ptr<ReadableFile> installed =
        files.openForReading(appFolder() + "\\" + target, Sharing::ReadWrite);
    std::string content(16, ' ');
    content.resize(installed->read(content.data(), content.size()));
    EXPECT_EQ(content, "lang");
    installed.reset();

    // The next version keeps this one in Backup, as long a path again.
    serve("updates/Auswertung.xlsx", "länger");
    publish(description("3.0", "0", fileBlock("Lang", "Auswertung.xlsx", target)));
    run();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(files
                    .entryKind(appFolder() + "\\Backup\\" + folder + "\\" + folder + "\\" + folder +
                               "\\" + folder + "\\Auswertung_2024-03-05_14.07.09.xlsx")
                    .has_value());
}

}  // namespace
}  // namespace morvane::test
