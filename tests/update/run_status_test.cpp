// Runs as the entry point makes them, with the run log: the exit status of
// each way a run can end, and the log naming its cause.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "install/install_journal.h"
#include "support/signing_vectors.h"
#include "support/update_run_fixture.h"

namespace morvane::test {
namespace {

class RunStatusTest : public UpdateRunTest {
public:
    // For the set-ups in the table below.
    using UpdateRunTest::answer;
    using UpdateRunTest::appFolder;
    using UpdateRunTest::description;
    using UpdateRunTest::files;
    using UpdateRunTest::process;
    using UpdateRunTest::publish;
    using UpdateRunTest::readApp;
    using UpdateRunTest::root;
    using UpdateRunTest::serve;
    using UpdateRunTest::ui;
    using UpdateRunTest::writeApp;
    using UpdateRunTest::writeSettings;

    // Version 1.0 installed with its workbook; the server offers 2.0 with one file.
    void installAndOffer(const std::string& messageType) {
        writeSettings("Mappe.xlsx");
        writeApp("Mappe.xlsx", "workbook");
        writeApp("app.exe", "app v1");
        writeApp("Temp\\revision.ini", description("1.0", "2", ""));
        serve("updates/app.exe", "app v2");
        publish(description("2.0", messageType, "[App]\r\nQuelle = app.exe\r\nZiel = app.exe\r\n",
                            "Mappe.xlsx"));
    }
    // The state a run cut off after moving app.exe leaves: the new file in
    // place, the old one in Backup, the fresh description and the journal.
    void cutOffAfterTheFirstMove() {
        installAndOffer("0");
        InstallJournal(files, appFolder() + "\\Temp\\revision.ini.install")
            .write({JournalEntry{"app.exe", "app_2024-03-05_14.07.09.exe"}});
        writeApp("Backup\\app_2024-03-05_14.07.09.exe", "app v1");
        writeApp("app.exe", "app v2");
        writeApp("Temp\\revision.ini.new",
                 description("2.0", "0", "[App]\r\nQuelle = app.exe\r\nZiel = app.exe\r\n"));
    }
    // The description answered by `reply` instead of the served files.
    void answerDescriptionWith(const ScriptedReply& reply) {
        server = std::make_unique<ScriptedHttpServer>([reply](const RecordedRequest& request) {
            return request.method == "HEAD" ? replyWithLength(404, "") : reply;
        });
        writeSettings("Mappe.xlsx");
    }
    // Held open without sharing, as another program may hold a workbook.
    std::unique_ptr<ReadableFile> held;

protected:
    int runLogged() {
        Platform logged{files, clock, ui, process, quickHttp, progress, spreadsheet};
        return runUpdater(logged, checkTime, lockPatience);
    }
    std::string runLog() const {
        return appHas("Temp\\Updater.log") ? readApp("Temp\\Updater.log") : "";
    }

    // Stalled transfers fail after a second here.
    HostHttp quickHttp{std::chrono::seconds(1)};

public:
    // A server that answers the revision check on and on, above the least
    // rate, outlasts this.
    std::chrono::milliseconds checkTime = kRevisionCheckTime;
    std::chrono::milliseconds lockPatience = kLockPatience;
};

struct StatusCase {
    const char* name;
    std::function<void(RunStatusTest&)> arrange;
    int status;
    std::vector<std::string> logged;  // parts of the log, in this order
};

ScriptedReply cutShort() {
    ScriptedReply reply = replyWithLength(200, std::string(100, 'x'));
    reply.bytes.resize(reply.bytes.size() - 60);
    return reply;
}

// A 200 whose body never ends, sent in pieces of `piece` bytes every
// `every` (as fast as taken when 0).
ScriptedReply endless(std::size_t piece = 0, int every = 0) {
    ScriptedReply reply;
    reply.bytes = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    reply.patternBytes = std::uint64_t{1} << 40;
    reply.firstPiece = reply.bytes.size();
    reply.pieceSize = piece;
    reply.pieceDelay = std::chrono::milliseconds(every);
    return reply;
}

// A 200 that announces `length` bytes and sends on without end.
ScriptedReply announcedEndless(std::uint64_t length) {
    ScriptedReply reply = endless();
    reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) +
                  "\r\nConnection: close\r\n\r\n";
    return reply;
}

// Signed with the key (whatever the signature file says), the workbook
// Mappe.xlsx in place: what a server can still make of the check.
void offerSigned(RunStatusTest& t) {
    t.installAndOffer("0");
    t.writeApp("Updater.ini",
               t.readApp("Updater.ini") + "[Signatur]\r\n" + vectors::kPublicKey + "\r\n");
}

// Version 2.0 offers app.exe ("app v2", 6 bytes) with a Größe of `size`
// (the key in Windows-1252, as a description holds it).
void offerWithSize(RunStatusTest& t, const std::string& size) {
    t.installAndOffer("0");
    t.publish(RunStatusTest::description("2.0", "0",
                                         "[App]\r\nQuelle = app.exe\r\nZiel = app.exe\r\nGr\xF6\xDF"
                                         "e = " +
                                             size + "\r\n",
                                         "Mappe.xlsx"));
}

ScriptedReply stalling() {
    ScriptedReply reply = replyWithLength(200, std::string(4000, 'x'));
    reply.pieceSize = 2000;
    reply.pieceDelay = std::chrono::milliseconds(4000);
    return reply;
}

const StatusCase kCases[] = {
    {"no newer version",
     [](RunStatusTest& t) {
         t.installAndOffer("2");
         t.writeApp("Temp\\revision.ini", RunStatusTest::description("2.0", "2", ""));
     },
     0,
     {"Run start: Updater.exe version 1.0.0.0 in ", ", user Anna", "Settings file ", " read",
      "Address: http://127.0.0.1:", "Warning: unsigned: no [Signatur] in the settings",
      "GET http://127.0.0.1:", "status 200", "server \"2.0\", installed \"2.0\": no newer version",
      "Starting \"", "Run end: exit status 0 (done), "}},
    {"installed, the start file then missing",
     [](RunStatusTest& t) {
         t.installAndOffer("1");
         std::filesystem::remove(t.root.native("App/Mappe.xlsx"));
     },
     0,
     {"newer, Msg-Typ \"1\"", "Message box \"Morvane 2\": Es wurde eine neue Version",
      "Message box answered OK", "updates/app.exe: status 200, 6 bytes", "Downloaded ", "Moved ",
      "app.exe to ", "Backup\\app_2024-03-05_14.07.09.exe", "Moved ", "Temp\\app.exe to ",
      "Version \"2.0\" installed", "Message box \"Start-Fehler\"", "exit status 0"}},
    {"another instance",
     [](RunStatusTest& t) { t.process.otherInstance = true; },
     1,
     {"Run start", "exit status 1 (another instance was running"}},
    {"no settings file",
     [](RunStatusTest&) {},
     2,
     {"Updater.ini could not be read", "Message box \"Fehler\": Für die Aktualisierung",
      "exit status 2 (no readable settings file)"}},
    {"signing key unreadable",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.writeApp("Updater.ini", t.readApp("Updater.ini") + "[Signatur]\r\nkein Schlüssel\r\n");
     },
     2,
     {"Signatur block cannot be read", "exit status 2"}},
    {"a key appended in UTF-16",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.writeApp("Updater.ini",
                    t.readApp("Updater.ini") + std::string("[\0S\0i\0g\0n\0a\0t\0u\0r\0]\0", 20));
     },
     2,
     {"could not be read: a NUL byte", "Message box \"Fehler\"", "exit status 2"}},
    {"description not signed",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.writeApp("Updater.ini",
                    t.readApp("Updater.ini") + "[Signatur]\r\n" + vectors::kPublicKey + "\r\n");
     },
     3,
     {"Signed updates only: key ", "revision.ini.sig: 0 bytes", "failed: status 404",
      "not validly signed", "exit status 3"}},
    {"description answered 404",
     [](RunStatusTest& t) {
         t.writeSettings("Mappe.xlsx");
         t.writeApp("Mappe.xlsx", "workbook");
     },
     3,
     {"updates/revision.ini: 0 bytes", "failed: status 404", "could not be fetched",
      "exit status 3 (the description could not be fetched)"}},
    {"proxy asks for credentials",
     [](RunStatusTest& t) {
         t.writeSettings();
         t.serve("updates/revision.ini", "Proxy Authentication Required", 407);
     },
     3,
     {"failed: status 407", "exit status 3"}},
    {"description stalls",
     [](RunStatusTest& t) { t.answerDescriptionWith(stalling()); },
     3,
     {"failed: stalled", "exit status 3"}},
    {"description without end",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.answer("updates/revision.ini", endless());
     },
     3,
     {"failed: more than 1048576 bytes", "could not be fetched", "Starting \"", "exit status 3"}},
    {"description announced larger than 1 MiB",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.answer("updates/revision.ini", announcedEndless(1'048'577));
     },
     3,
     {"GET http://127.0.0.1:", "0 bytes", "failed: announced 1048577 bytes, more than 1048576",
      "Starting \"", "exit status 3"}},
    {"description drips below 1 KiB a second",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.answer("updates/revision.ini", endless(50, 100));
     },
     3,
     {"failed: stalled", "could not be fetched", "Starting \"", "exit status 3"}},
    {"description outlasts the revision check",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.answer("updates/revision.ini", endless(2'000, 100));
         t.checkTime = std::chrono::milliseconds(1'500);
     },
     3,
     {"failed: time limit reached", "ran out of time", "Starting \"", "exit status 3"}},
    {"signature without end",
     [](RunStatusTest& t) {
         offerSigned(t);
         t.answer("updates/revision.ini.sig", endless());
     },
     3,
     {"revision.ini.sig: status 200, ", "failed: more than 1024 bytes", "not validly signed",
      "Starting \"", "exit status 3"}},
    {"signature drips below 1 KiB a second",
     [](RunStatusTest& t) {
         offerSigned(t);
         t.answer("updates/revision.ini.sig", endless(20, 100));
     },
     3,
     {"revision.ini.sig: status 200, ", "failed: stalled", "Starting \"", "exit status 3"}},
    {"signature outlasts the revision check",
     [](RunStatusTest& t) {
         offerSigned(t);
         t.answer("updates/revision.ini.sig", endless(100, 50));
         t.checkTime = std::chrono::milliseconds(500);
     },
     3,
     {"revision.ini.sig: status 200, ", "failed: time limit reached",
      "The signature could not be fetched: the revision check ran out of time", "Starting \"",
      "exit status 3"}},
    {"file of its declared size",
     [](RunStatusTest& t) { offerWithSize(t, "6"); },
     0,
     {"Downloaded ", "Version \"2.0\" installed", "exit status 0"}},
    {"file without end passes its declared size",
     [](RunStatusTest& t) {
         offerWithSize(t, "6");
         t.answer("updates/app.exe", endless());
     },
     5,
     {"updates/app.exe: status 200, ", "failed: more than 6 bytes",
      "Download failed: ", "exit status 5"}},
    {"file without Größe announced beyond 4 GiB",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.answer("updates/app.exe", announcedEndless(4'294'967'297));
     },
     5,
     {"updates/app.exe: status 200, 0 bytes",
      "failed: announced 4294967297 bytes, more than 4294967296",
      "Download failed: ", "exit status 5"}},
    {"file whose Größe lies beyond 4 GiB is bound by that",
     [](RunStatusTest& t) {
         offerWithSize(t, "4294967297");
         t.answer("updates/app.exe", announcedEndless(4'294'967'298));
     },
     5,
     {"failed: announced 4294967298 bytes, more than 4294967297", "exit status 5"}},
    {"file shorter than its declared size",
     [](RunStatusTest& t) { offerWithSize(t, "7"); },
     5,
     {"updates/app.exe: status 200, 6 bytes", "Download failed: ", "exit status 5"}},
    {"declared size that is no number",
     [](RunStatusTest& t) { offerWithSize(t, "6 Bytes"); },
     5,
     {"Download failed: ", "exit status 5"}},
    {"description cut short",
     [](RunStatusTest& t) { t.answerDescriptionWith(cutShort()); },
     3,
     {"failed: cut short after 40 of 100 bytes", "exit status 3"}},
    {"server down",
     [](RunStatusTest& t) {
         t.writeApp("Updater.ini",
                    "[Adresse]\r\nhttp://127.0.0.1:" + std::to_string(unusedPort()) + "/r.ini\r\n");
     },
     3,
     {"/r.ini: 0 bytes, ", " ms, failed: ", "exit status 3"}},
    {"declined",
     [](RunStatusTest& t) {
         t.installAndOffer("2");
         t.ui.answers = {box::No};
     },
     4,
     {"Message box answered No", "Update declined", "exit status 4 (the update was declined)"}},
    {"file answered 404",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.serve("updates/app.exe", "gone", 404);
     },
     5,
     {"updates/app.exe: 0 bytes", "failed: status 404",
      "Download failed: ", "Message box \"Fehler beim Download einer Datei\"", "exit status 5"}},
    {"move failed",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.writeApp("Backup", "a file where the folder belongs");
     },
     6,
     {"Not moved ", "Temp\\app.exe to ", "Rolling back 1 file(s)", "Rolled back",
      "Message box \"Fehler beim Verschieben einer Datei\"", "exit status 6 (moving failed)"}},
    {"interrupted installation put back, then installed",
     [](RunStatusTest& t) { t.cutOffAfterTheFirstMove(); },
     0,
     {"put back from its journal", "Rolling back 1 file(s)", "Rolled back", "newer, Msg-Typ \"0\"",
      "Version \"2.0\" installed", "exit status 0"}},
    {"with a key, a journal beside an unsigned description",
     [](RunStatusTest& t) {
         t.cutOffAfterTheFirstMove();
         t.writeApp("Updater.ini",
                    t.readApp("Updater.ini") + "[Signatur]\r\n" + vectors::kPublicKey + "\r\n");
     },
     6,
     {"is not validly signed; both stay for inspection and nothing is moved",
      "Message box \"Fehler beim Verschieben einer Datei\"", "exit status 6"}},
    {"with a key, a journal beside a signed description is put back",
     [](RunStatusTest& t) {
         t.writeSettings("Auswertung.xlsm");
         t.writeApp("Updater.ini",
                    t.readApp("Updater.ini") + "[Signatur]\r\n" + vectors::kPublicKey + "\r\n");
         t.writeApp("Backup\\Auswertung_2024-03-05_14.07.09.xlsm", "old");
         t.writeApp("Auswertung.xlsm", "new");
         t.writeApp("Temp\\revision.ini", vectors::kOlderRelease);
         InstallJournal(t.files, t.appFolder() + "\\Temp\\revision.ini.install")
             .write({JournalEntry{"Auswertung.xlsm", "Auswertung_2024-03-05_14.07.09.xlsm"}});
         t.writeApp("Temp\\revision.ini.new", vectors::kRelease);
         std::string signature;
         for (std::size_t i = 0; vectors::kReleaseSignature[i] != '\0'; i += 2) {
             signature += static_cast<char>(
                 std::stoi(std::string(vectors::kReleaseSignature + i, 2), nullptr, 16));
         }
         t.writeApp("Temp\\revision.ini.new.sig", signature);
     },
     3,
     {"put back from its journal", "Rolled back", "exit status 3"}},
    {"file in use, cancelled",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.held = t.files.openForReading(t.appFolder() + "\\app.exe", Sharing::Nothing);
         t.ui.answers = {box::Cancel};
     },
     6,
     {"Downloaded ", "In use by another program: ", "Message box \"Datei in Verwendung\"",
      "Message box answered Cancel", "cancelled before the first move", "exit status 6"}},
    {"unexpected error",
     [](RunStatusTest& t) {
         t.installAndOffer("0");
         t.process.startFailure = Failure(53, "Datei nicht gefunden");
     },
     7,
     {"Unexpected error: Datei nicht gefunden (53)", "Message box \"Unbekannter Fehler\"",
      "exit status 7 (an unexpected error was reported)"}},
};

class ExitStatusTest : public RunStatusTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ExitStatusTest, EndsWithItsStatusAndTheLogNamesTheCause) {
    GetParam().arrange(*this);
    EXPECT_EQ(runLogged(), GetParam().status);
    const std::string log = runLog();
    std::size_t at = 0;
    for (const std::string& part : GetParam().logged) {
        const std::size_t found = log.find(part, at);
        ASSERT_NE(found, std::string::npos) << "\"" << part << "\" missing in:\n" << log;
        at = found + part.size();
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, ExitStatusTest, ::testing::ValuesIn(kCases),
                         [](const auto& testCase) {
                             std::string name;
                             for (const char c : std::string(testCase.param.name)) {
                                 if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             }
                             return name;
                         });

// Two runs in one folder, as from two PCs sharing it: a question left open
// holds nobody up, and the run that asked installs nothing twice.
TEST_F(RunStatusTest, AQuestionLeftOpenHoldsTheFolderLockFromNobody) {
    installAndOffer("2");
    HostProcess firstHost;
    process.lockHost = &firstHost;
    FakeProcess otherPc = process;
    HostProcess secondHost;
    otherPc.lockHost = &secondHost;
    int second = -1;
    bool asked = false;
    ui.answers = {box::Yes, box::Yes};
    ui.onBox = [&](const ShownBox&) {
        if (!asked) {
            asked = true;
            Platform other{files, clock, ui, otherPc, quickHttp, progress, spreadsheet};
            second = runUpdater(other);
        }
    };
    EXPECT_EQ(runLogged(), 0);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(readApp("app.exe"), "app v2");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.native("App/Backup")),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_NE(runLog().find("was installed by another run meanwhile"), std::string::npos)
        << runLog();
}

// Another run holds the lock (a colleague's installation): past the
// patience the installed version starts without the update, status 1; a
// lock let go within it lets the update install.
TEST_F(RunStatusTest, AHeldFolderLockIsWaitedForThenTheInstalledVersionStarts) {
    for (const bool letGo : {false, true}) {
        SCOPED_TRACE(letGo ? "let go in time" : "held on");
        std::filesystem::remove_all(root.native("App"));
        installAndOffer("0");
        lockPatience = letGo ? std::chrono::seconds(20) : std::chrono::milliseconds(300);
        ui.boxes.clear();
        HostProcess holder;
        std::string why;
        ASSERT_TRUE(holder.lockFolder(appFolder() + "\\Temp\\Updater.lock", why));
        std::thread release;
        if (letGo) {
            release = std::thread([&holder] {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                holder.unlockFolder();
            });
        }
        HostProcess own;
        process.lockHost = &own;
        const int status = runLogged();
        if (release.joinable()) {
            release.join();
        }
        own.unlockFolder();
        holder.unlockFolder();
        if (letGo) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(readApp("app.exe"), "app v2");
            continue;
        }
        EXPECT_EQ(status, 1);
        EXPECT_EQ(readApp("app.exe"), "app v1");
        EXPECT_EQ(readApp("Temp\\revision.ini"), description("1.0", "2", ""));
        EXPECT_EQ(requestsFor("/updates/app.exe"), 0);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text,
                  "Die Anwendung wird gerade an einem anderen Arbeitsplatz aktualisiert.\r\n"
                  "Sie wird ohne diese Aktualisierung gestartet.");
        EXPECT_EQ(ui.boxes[0].style, box::Information);
        EXPECT_EQ(ui.boxes[0].caption, "Morvane 2");
        EXPECT_NE(runLog().find("another run holds it"), std::string::npos) << runLog();
        EXPECT_NE(process.started.back().find("Mappe.xlsx"), std::string::npos);
    }
}

#ifndef _WIN32
// A user who may write the folder puts a link on the way to a "Ziel", or a
// pipe at one: nothing moves, nothing outside the folder is touched, and
// nothing hangs.
TEST_F(RunStatusTest, ALinkOrAPipeInTheWayOfAZielStopsTheInstallation) {
    const std::string lib = "[Lib]\r\nQuelle = app.exe\r\nZiel = lib\\app.exe\r\n";
    for (const bool pipe : {false, true}) {
        SCOPED_TRACE(pipe ? "pipe at the Ziel" : "link as a folder on the way");
        std::filesystem::remove_all(root.native("App"));
        std::filesystem::remove_all(root.native("Outside"));
        installAndOffer("0");
        if (pipe) {
            std::filesystem::remove(root.native("App/app.exe"));
            ASSERT_EQ(mkfifo(root.native("App/app.exe").c_str(), 0600), 0);
        } else {
            std::filesystem::create_directories(root.native("Outside"));
            std::filesystem::create_directory_symlink(root.native("Outside"),
                                                      root.native("App/lib"));
            publish(description("2.0", "0", lib, "Mappe.xlsx"));
        }
        EXPECT_EQ(runLogged(), 6);
        EXPECT_NE(runLog().find("Refused before anything moved"), std::string::npos) << runLog();
        EXPECT_FALSE(std::filesystem::exists(root.native("App/Backup")));
        EXPECT_FALSE(std::filesystem::exists(root.native("Outside/app.exe")));
    }
}
#endif

TEST_F(RunStatusTest, AnUnwritableLogChangesNothing) {
    // A folder in the log's place, then a read-only log file (which an
    // administrator's run may still write: then only the log changes).
    for (const bool folder : {true, false}) {
        SCOPED_TRACE(folder ? "folder" : "read-only file");
        std::filesystem::remove_all(root.native("App"));
        std::filesystem::create_directories(root.native("App/Temp"));
        ui.boxes.clear();
        process.started.clear();
        const auto logFile = root.native("App/Temp/Updater.log");
        if (folder) {
            std::filesystem::create_directories(logFile);
        } else {
            writeApp("Temp\\Updater.log", "old\r\n");
            std::filesystem::permissions(logFile, std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::group_read |
                                                      std::filesystem::perms::others_read);
        }
        installAndOffer("2");
        ui.answers = {box::Yes};
        EXPECT_EQ(runLogged(), 0);
        EXPECT_EQ(readApp("app.exe"), "app v2");
        EXPECT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(process.started.size(), 1u);
        EXPECT_EQ(std::filesystem::is_directory(logFile), folder);
        std::filesystem::permissions(logFile, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
}

}  // namespace
}  // namespace morvane::test
