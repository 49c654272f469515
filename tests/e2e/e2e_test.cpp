// End-to-end runs of the real Updater.exe, as on a user's machine: an
// application folder with Updater.exe and Updater.ini (and Updater.gif where
// a case needs it), a loopback update server, the box driver answering the
// message boxes, the stand-in spreadsheet program registered as
// "Excel.Application". Each case checks what the user saw and what is on disk.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/crypto.h"
#include "e2e_support.h"
#include "fake_excel_ids.h"
#include "fake_excel_registration.h"
#include "publish/key_encoding.h"
#include "publish/local_files.h"
#include "support/built_file.h"
#include "support/signing_vectors.h"
#include "support/temp_folder.h"
#include "update/signature_check.h"

namespace morvane::e2e {
namespace {

using namespace std::chrono_literals;

const std::wstring kUpdaterBuilt = wide(test::builtFile(MORVANE_E2E_UPDATER));
const std::wstring kBoxDriver = wide(test::builtFile(MORVANE_E2E_BOX_DRIVER));
const std::wstring kFakeExcel = wide(test::builtFile(MORVANE_E2E_FAKE_EXCEL));
const std::wstring kFileHolder = wide(test::builtFile(MORVANE_E2E_FILE_HOLDER));
const std::wstring kPictures = wide(test::builtFile(MORVANE_E2E_PICTURES));

std::wstring folderOf(const std::wstring& file) {
    return file.substr(0, file.find_last_of(L'\\'));
}

const std::wstring kExcelStub = folderOf(kFakeExcel) + L"\\EXCEL.EXE";

constexpr auto kRunTimeout = 60s;
const std::string kCrLf = "\r\n";

// ---- texts the user has to see, exactly ---------------------------------------------

std::string informText(const std::string& description) {
    return "Es wurde eine neue Version mit folgenden Änderungen gefunden:" + kCrLf + kCrLf +
           description + kCrLf + "Es wird nun eine Aktualisierung durchgeführt.";
}

std::string askText(const std::string& description) {
    return "Es wurde eine neue Version mit folgenden Änderungen gefunden (eine Aktualisierung "
           "wird dringend empfohlen):" +
           kCrLf + kCrLf + description + kCrLf +
           "Möchten Sie fortfahren und die Anwendung aktualisieren?";
}

const std::string kSettingsMissingText =
    "Für die Aktualisierung muss eine Server-Adresse angegeben werden." + kCrLf +
    "Dies geschieht über eine Datei Updater.ini im selben Verzeichnis.";
const std::string kDownloadErrorText = "Beim Herunterladen trat ein Fehler auf.";
const std::string kMoveErrorText = "Beim Verschieben der Dateien trat ein Fehler auf." + kCrLf +
                                   "Bitte prüfen Sie, ob alle Programme geschlossen" + kCrLf +
                                   "sind und versuchen Sie die Aktualisierung erneut.";

// ---- the revision description ---------------------------------------------------------

struct FileBlock {
    std::string source;  // "Quelle", below the description's folder on the server
    std::string target;  // "Ziel", below the application's folder
    std::string sha256;  // its "SHA256"; "" for none
};

struct Revision {
    std::string version = "2.04";
    std::string title = "Morvane-Aktualisierung 2.04";
    std::string messageType = "2";
    std::vector<std::string> description = {"Neue Auswertung der Quartalszahlen",
                                            "; intern: Ausgabe 2417", "Summenzeile berichtigt"};
    std::vector<FileBlock> files = {
        {"dateien/Auswertung.xlsm", "Auswertung.xlsm", ""},
        {"dateien/vorlagen/Bericht.xltx", "Vorlagen\\Bericht.xltx", ""}};
    std::string startFile = "Auswertung.xlsm";

    // The description as the message boxes show it: every line with "\r\n".
    std::string shownDescription() const {
        std::string text;
        for (const std::string& line : description) text += line + kCrLf;
        return text;
    }

    // The file as the server delivers it, in the system's ANSI code page.
    std::string file() const {
        std::string text = "[Version]\r\n" + version + "\r\n[Titel]\r\n" + title +
                           "\r\n[Msg-Typ]\r\n" + messageType + "\r\n[Beschreibung]\r\n" +
                           shownDescription();
        int number = 0;
        for (const FileBlock& block : files) {
            text += "[Datei " + std::to_string(++number) + "]\r\nQuelle = " + block.source +
                    "\r\nZiel = " + block.target + "\r\n";
            if (!block.sha256.empty()) text += "SHA256 = " + block.sha256 + "\r\n";
        }
        text += "[Startdatei]\r\n" + startFile + "\r\n";
        return ansi(text);
    }
};

// The contents of the new files on the server and of the installed ones.
const std::string kNewWorkbook = "neue Mappe 2.04";
const std::string kNewTemplate = "neue Vorlage 2.04";
const std::string kOldWorkbook = "alte Mappe 2.03";

const std::string kRevisionPath = "/updates/revision.ini";
const std::regex kDatedWorkbook(R"(Auswertung_\d{4}-\d{2}-\d{2}_\d{2}\.\d{2}\.\d{2}\.xlsm)");

// ---- one answer of the user -------------------------------------------------------------

struct Answer {
    std::string button;  // "OK", "Yes", "No", "Retry" or "Cancel"
    std::wstring after;  // answered only once this file exists
};

struct RunRecord {
    DWORD processId = 0;
    DWORD exitCode = STILL_ACTIVE;
    DriverRecord record;
};

bool displayMissing() {
    wchar_t display[256];
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    return wine && GetEnvironmentVariableW(L"DISPLAY", display, 256) == 0;
}

class UpdaterRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (displayMissing()) {
            GTEST_SKIP() << "the updater's windows need an X display under Wine: set DISPLAY "
                            "(for example to an Xvfb server)";
        }
        fake_excel::removeRegistration();
        if (const auto other = fake_excel::registeredClass()) {
            GTEST_SKIP() << "\"Excel.Application\" is registered in this installation: "
                         << narrow(*other);
        }
        ASSERT_TRUE(fake_excel::registerServer(L"\"" + kFakeExcel + L"\""));

        caseName_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        app_ = wide(root_.file("Anwendung"));
        ASSERT_TRUE(CreateDirectoryW(app_.c_str(), nullptr));
        updater_ = app_ + L"\\Updater.exe";
        ASSERT_TRUE(CopyFileW(kUpdaterBuilt.c_str(), updater_.c_str(), TRUE))
            << narrow(kUpdaterBuilt);
        excelRecord_ = wide(root_.file("excel-record.txt"));
        SetEnvironmentVariableW(fake_excel::kRecordVariable, excelRecord_.c_str());
        CreateDirectoryW(kPictures.c_str(), nullptr);
    }

    void TearDown() override {
        for (ChildProcess& process : processes_) process.kill();
        processes_.clear();
        driver_ = nullptr;
        // Whatever the programs under test started and left running.
        killProcesses({kBoxDriver, kFakeExcel, kExcelStub, kFileHolder}, app_);
        fake_excel::removeRegistration();
        SetEnvironmentVariableW(fake_excel::kRecordVariable, nullptr);
    }

    // ---- the application folder ----

    std::string appPath(const std::string& name = {}) const {
        return narrow(app_) + (name.empty() ? "" : "\\" + name);
    }
    void writeApp(const std::string& name, const std::string& content) const {
        root_.write("Anwendung\\" + name, content);
    }
    std::string readApp(const std::string& name) const { return root_.read("Anwendung\\" + name); }
    bool inApp(const std::string& name) const { return root_.exists("Anwendung\\" + name); }
    std::string runLog() const {
        return inApp("Temp\\Updater.log") ? readApp("Temp\\Updater.log") : std::string();
    }
    void expectLogged(const std::string& part) const {
        EXPECT_NE(runLog().find(part), std::string::npos) << part << " missing in:\n" << runLog();
    }

    void writeSettings(const std::string& address, const std::string& startFile = "Start.xlsm") {
        writeApp("Updater.ini",
                 ansi("[Adresse]\r\n" + address + "\r\n[Startdatei]\r\n" + startFile + "\r\n"));
    }

    // A typical installation: the start workbook of the settings file, the
    // workbook the update replaces, settings naming the server.
    void installApplication() {
        writeApp("Start.xlsm", "Startmappe");
        writeApp("Auswertung.xlsm", kOldWorkbook);
        writeSettings(server_.url(kRevisionPath));
    }

    void serve(const Revision& revision, std::chrono::milliseconds fileDelay = 0ms) {
        server_.put(kRevisionPath, revision.file());
        server_.put("/updates/dateien/Auswertung.xlsm", {200, kNewWorkbook, fileDelay});
        server_.put("/updates/dateien/vorlagen/Bericht.xltx", {200, kNewTemplate, fileDelay});
    }

    std::vector<std::string> backups() const {
        std::vector<std::string> names;
        std::error_code ignored;
        const auto folder = root_.native("Anwendung\\Backup");
        if (!std::filesystem::is_directory(folder, ignored)) return names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored)) {
            if (entry.is_regular_file()) {
                names.push_back(narrow(entry.path().lexically_relative(folder).wstring()));
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // ---- runs ----

    // Starts the box driver for the next run of the updater.
    void startDriver(const std::vector<Answer>& answers) {
        ++runs_;
        const std::wstring stem = root_.native().wstring() + L"\\run" + std::to_wstring(runs_);
        driverRecord_ = stem + L"-record.txt";
        driverStop_ = stem + L"-stop";
        const std::wstring ready = stem + L"-ready";
        const std::wstring name =
            wide(caseName_) + (runs_ > 1 ? L"-run" + std::to_wstring(runs_) : L"");
        std::wstring line = L"\"" + kBoxDriver + L"\" --record \"" + driverRecord_ +
                            L"\" --watch \"" + updater_ + L"\" --pictures \"" + kPictures +
                            L"\" --name \"" + name + L"\" --bitmaps \"" + stem +
                            L"-bitmaps\" --ready-file \"" + ready + L"\" --stop-file \"" +
                            driverStop_ + L"\" --seconds 150";
        for (const Answer& answer : answers) {
            line += L" --answer " + wide(answer.button);
            if (!answer.after.empty()) line += L" --after \"" + answer.after + L"\"";
        }
        driver_ = &processes_.emplace_back(ChildProcess::start(line));
        for (int i = 0; i < 300 && GetFileAttributesW(ready.c_str()) == INVALID_FILE_ATTRIBUTES;
             ++i) {
            Sleep(50);
        }
        ASSERT_NE(GetFileAttributesW(ready.c_str()), INVALID_FILE_ATTRIBUTES)
            << "the box driver did not start";
    }

    ChildProcess& startUpdater(const std::wstring& currentFolder = {},
                               std::optional<WORD> showCommand = std::nullopt,
                               const std::wstring& arguments = {}) {
        return processes_.emplace_back(
            ChildProcess::start(L"\"" + updater_ + L"\"" + arguments,
                                currentFolder.empty() ? app_ : currentFolder, showCommand));
    }

    // Waits for the updater to end (killing it after the time-out), stops the
    // driver and reads what it recorded.
    RunRecord finish(ChildProcess& updater) {
        RunRecord run;
        run.processId = updater.id();
        if (!updater.wait(kRunTimeout)) {
            ADD_FAILURE() << "Updater.exe did not end within " << kRunTimeout.count() << " s";
            updater.kill();
        }
        run.exitCode = updater.exitCode();
        stopDriver();
        run.record = readDriverRecord(driverRecord_);
        return run;
    }

    DriverRecord driverRecordSoFar() const { return readDriverRecord(driverRecord_); }

    void stopDriver() {
        if (driver_ == nullptr) return;
        // The stop file only has to exist.
        const win32::UniqueHandle stop(CreateFileW(driverStop_.c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!driver_->wait(10s)) ADD_FAILURE() << "the box driver did not stop";
        driver_->kill();
        driver_ = nullptr;
    }

    RunRecord runUpdater(const std::vector<Answer>& answers = {},
                         const std::wstring& currentFolder = {}) {
        startDriver(answers);
        return finish(startUpdater(currentFolder));
    }

    // The starts of EXCEL.EXE, once every started one has recorded itself.
    std::vector<ExcelStart> excelStarts() const {
        for (int i = 0; i < 200 && isRunning(kExcelStub); ++i) Sleep(50);
        return readExcelStarts(excelRecord_);
    }

    std::string excelCommandLine(const std::string& workbook) const {
        return "\"" + narrow(folderOf(kFakeExcel)) + "\\EXCEL.EXE\" \"" + appPath(workbook) + "\"";
    }

    void expectExcelStartedOn(const std::string& workbook) const {
        const std::vector<ExcelStart> starts = excelStarts();
        ASSERT_EQ(starts.size(), 1u) << "EXCEL.EXE should have been started once";
        EXPECT_EQ(starts[0].commandLine, excelCommandLine(workbook));
        EXPECT_EQ(starts[0].showWindow, SW_SHOWMAXIMIZED);
        EXPECT_NE(starts[0].flags & STARTF_USESHOWWINDOW, 0);
    }

    void expectExcelNotStarted() const {
        EXPECT_TRUE(excelStarts().empty()) << "EXCEL.EXE was started";
    }

    std::vector<std::string> getTargets() const {
        std::vector<std::string> targets;
        for (const auto& request : server_.requests()) {
            if (request.method == "GET") targets.push_back(request.target);
        }
        return targets;
    }

    test::TempFolder root_;
    UpdateServer server_;
    std::string caseName_;
    std::wstring app_;
    std::wstring updater_;
    std::wstring excelRecord_;

private:
    // A deque: the runs keep references to its elements while it grows.
    std::deque<ChildProcess> processes_;
    ChildProcess* driver_ = nullptr;
    std::wstring driverRecord_;
    std::wstring driverStop_;
    int runs_ = 0;
};

void expectBox(const BoxSeen& box, const std::string& caption, const std::string& text,
               const std::string& buttons, const std::string& icon) {
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.buttons, buttons);
    EXPECT_EQ(box.icon, icon);
    EXPECT_FALSE(box.picture.empty()) << "no picture of the box \"" << caption << "\"";
}

std::vector<WindowSeen> windowsOf(const RunRecord& run) {
    std::vector<WindowSeen> windows;
    for (const WindowSeen& window : run.record.windows) {
        if (window.processId == run.processId) windows.push_back(window);
    }
    return windows;
}

// The progress window: borderless, titled "Form1", of the given client
// size, centred on the screen.
void expectProgressWindow(const WindowSeen& window, int width, int height) {
    EXPECT_EQ(window.title, "Form1");
    EXPECT_EQ(window.clientWidth, width);
    EXPECT_EQ(window.clientHeight, height);
    EXPECT_EQ(window.width, width) << "the window has a frame";
    EXPECT_EQ(window.height, height) << "the window has a frame";
    EXPECT_EQ(window.style & WS_CAPTION, 0u);
    EXPECT_EQ(window.style & WS_THICKFRAME, 0u);
    EXPECT_NE(window.style & WS_POPUP, 0u);
    EXPECT_NEAR(window.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, 1);
    EXPECT_NEAR(window.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 1);
    EXPECT_FALSE(window.picture.empty());
}

// ---- start-up and settings -------------------------------------------------------------

TEST_F(UpdaterRunTest, WithoutSettingsFileOneMessageAndNothingElse) {
    writeApp("Start.xlsm", "Startmappe");
    const RunRecord result = runUpdater({{"OK", {}}});

    EXPECT_EQ(result.exitCode, 2u);
    ASSERT_EQ(result.record.boxes.size(), 1u);
    expectBox(result.record.boxes[0], "Fehler", kSettingsMissingText, "OK", "exclamation");
    EXPECT_TRUE(windowsOf(result).empty());
    // Temp holds nothing but the run's log and its exit status for the next run.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root_.native("Anwendung\\Temp")),
                            std::filesystem::directory_iterator()),
              2);
    EXPECT_EQ(readApp("Temp\\Updater.status"), "2");
    expectLogged("Updater.ini could not be read");
    expectLogged("Message box \"Fehler\": Für die Aktualisierung muss");
    expectLogged("Run end: exit status 2 (no readable settings file)");
    EXPECT_FALSE(inApp("Backup"));
    EXPECT_TRUE(server_.requests().empty());
    expectExcelNotStarted();
}

TEST_F(UpdaterRunTest, ASecondStartWhileTheFirstWaitsAtItsBoxEndsSilently) {
    installApplication();
    serve(Revision{});
    const std::wstring release = wide(root_.file("release"));
    startDriver({{"No", release}});
    ChildProcess& first = startUpdater();
    DriverRecord seen;
    for (int i = 0; i < 600 && seen.seenCaptions.empty(); ++i) {
        Sleep(50);
        seen = driverRecordSoFar();
    }
    ASSERT_EQ(seen.seenCaptions.size(), 1u) << "the first run shows no box";
    const std::size_t requestsBefore = server_.requests().size();

    ChildProcess& second = startUpdater();
    ASSERT_TRUE(second.wait(30s)) << "the second start did not end";
    EXPECT_EQ(second.exitCode(), 1u);
    EXPECT_EQ(server_.requests().size(), requestsBefore) << "the second start fetched something";
    EXPECT_TRUE(readExcelStarts(excelRecord_).empty()) << "the second start started EXCEL.EXE";

    root_.write("release", "");
    const RunRecord result = finish(first);
    ASSERT_EQ(result.record.boxes.size(), 1u);
    EXPECT_EQ(result.record.boxes[0].processId, first.id());
    EXPECT_EQ(result.record.boxes[0].pressed, "No");
    EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
    expectExcelStartedOn("Start.xlsm");
}

// ---- revision check and confirmation ---------------------------------------------------

TEST_F(UpdaterRunTest, FirstRunAnsweredYesInstallsEverythingAndStartsTheWorkbook) {
    installApplication();
    const Revision revision;
    serve(revision, 700ms);
    const RunRecord result = runUpdater({{"Yes", {}}});

    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_EQ(result.record.boxes.size(), 1u);
    expectBox(result.record.boxes[0], revision.title, askText(revision.shownDescription()),
              "Yes,No", "information");

    const std::vector<WindowSeen> windows = windowsOf(result);
    ASSERT_FALSE(windows.empty()) << "no progress window";
    expectProgressWindow(windows[0], 347, 275);

    EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
    EXPECT_EQ(readApp("Vorlagen\\Bericht.xltx"), kNewTemplate);
    const std::vector<std::string> saved = backups();
    ASSERT_EQ(saved.size(), 1u) << "only the replaced workbook has a backup";
    EXPECT_TRUE(std::regex_match(saved[0], kDatedWorkbook)) << saved[0];
    EXPECT_EQ(root_.read("Anwendung\\Backup\\" + saved[0]), kOldWorkbook);
    // The new files left Temp; the description's copy records the revision.
    EXPECT_FALSE(inApp("Temp\\Auswertung.xlsm"));
    EXPECT_FALSE(inApp("Temp\\Vorlagen\\Bericht.xltx"));
    EXPECT_EQ(readApp("Temp\\revision.ini"), revision.file());
    EXPECT_FALSE(inApp("Temp\\revision.ini.install"));
    expectLogged("Message box answered Yes");
    expectLogged("Version \"2.04\" installed");
    expectLogged("Run end: exit status 0 (done)");

    const std::vector<std::string> expectedGets = {kRevisionPath,
                                                   "/updates/dateien/Auswertung.xlsm",
                                                   "/updates/dateien/vorlagen/Bericht.xltx"};
    EXPECT_EQ(getTargets(), expectedGets);
    if (!server_.onPort80()) {
        std::printf("note: port 80 was taken or not allowed; the size probe went unchecked\n");
    } else {
        // The size probe reaches the server before every transfer.
        const auto requests = server_.requests();
        ASSERT_EQ(requests.size(), 6u);
        for (std::size_t i = 0; i < requests.size(); i += 2) {
            EXPECT_EQ(requests[i].method, "HEAD");
            EXPECT_EQ(requests[i].target, requests[i + 1].target);
        }
    }
    expectExcelStartedOn("Auswertung.xlsm");
}

// A prefetch, as a scheduled task starts it, shows nothing, starts nothing
// and installs nothing; the run after it fetches the description alone.
TEST_F(UpdaterRunTest, APrefetchShowsNothingAndTheRunAfterItFetchesOnlyTheDescription) {
    installApplication();
    const auto sha256Of = [](const std::string& data) {
        Sha256 hash;
        hash.update(data.data(), data.size());
        return toHex(hash.finish());
    };
    Revision revision;
    revision.files[0].sha256 = sha256Of(kNewWorkbook);
    revision.files[1].sha256 = sha256Of(kNewTemplate);
    serve(revision);
    startDriver({});
    const RunRecord prefetch = finish(startUpdater({}, std::nullopt, L" --prefetch"));

    EXPECT_EQ(prefetch.exitCode, 0u);
    EXPECT_TRUE(prefetch.record.boxes.empty());
    EXPECT_TRUE(windowsOf(prefetch).empty());
    EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
    EXPECT_EQ(readApp("Temp\\Vorrat\\" + revision.files[0].sha256), kNewWorkbook);
    expectLogged("Prefetch: version \"2.04\": 2 file(s) fetched, 0 already in the store");
    expectExcelNotStarted();

    const RunRecord result = runUpdater({{"Yes", {}}});

    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
    EXPECT_EQ(readApp("Vorlagen\\Bericht.xltx"), kNewTemplate);
    const std::vector<std::string> expectedGets = {
        kRevisionPath, "/updates/dateien/Auswertung.xlsm", "/updates/dateien/vorlagen/Bericht.xltx",
        kRevisionPath};
    EXPECT_EQ(getTargets(), expectedGets);
    EXPECT_TRUE(std::filesystem::is_empty(root_.native("Anwendung\\Temp\\Vorrat")));
    expectLogged("Taken from the prefetch store: ");
    expectExcelStartedOn("Auswertung.xlsm");
}

TEST_F(UpdaterRunTest, AnsweredNoChangesNothingAndTheNextRunAsksAgain) {
    installApplication();
    const Revision revision;
    serve(revision);
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        const RunRecord result = runUpdater({{"No", {}}});
        EXPECT_EQ(result.exitCode, 4u);
        ASSERT_EQ(result.record.boxes.size(), 1u);
        expectBox(result.record.boxes[0], revision.title, askText(revision.shownDescription()),
                  "Yes,No", "information");
        EXPECT_TRUE(windowsOf(result).empty());
        EXPECT_FALSE(inApp("Temp\\revision.ini"));
        EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
        EXPECT_FALSE(inApp("Vorlagen"));
        EXPECT_TRUE(backups().empty());
    }
    EXPECT_EQ(getTargets(), std::vector<std::string>(2, kRevisionPath));
    // Declined: the settings file names the workbook; once per run.
    const std::vector<ExcelStart> starts = excelStarts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].commandLine, excelCommandLine("Start.xlsm"));
    EXPECT_EQ(starts[1].commandLine, excelCommandLine("Start.xlsm"));
}

// Every Msg-Typ installs: "1" tells first and shows the progress window,
// "0" and any other value install without box and without window.
TEST_F(UpdaterRunTest, TheMessageTypeDecidesTheBoxAndTheWindowAndEveryOneInstalls) {
    struct Row {
        std::string messageType;
        std::vector<Answer> answers;
        bool informs;
    };
    const Row rows[] = {{"0", {}, false}, {"1", {{"OK", {}}}, true}, {"01", {}, false}};
    std::size_t runs = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE("Msg-Typ " + row.messageType);
        for (const char* made : {"Temp", "Backup", "Vorlagen"}) {
            std::filesystem::remove_all(root_.native(std::string("Anwendung\\") + made));
        }
        installApplication();
        Revision revision;
        revision.messageType = row.messageType;
        serve(revision, row.informs ? 500ms : 300ms);
        const RunRecord result = runUpdater(row.answers);

        if (row.informs) {
            ASSERT_EQ(result.record.boxes.size(), 1u);
            expectBox(result.record.boxes[0], revision.title,
                      informText(revision.shownDescription()), "OK", "information");
            EXPECT_FALSE(windowsOf(result).empty()) << "no progress window";
        } else {
            EXPECT_TRUE(result.record.seenCaptions.empty());
            EXPECT_TRUE(windowsOf(result).empty()) << "the progress window was shown";
        }
        EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
        EXPECT_EQ(readApp("Vorlagen\\Bericht.xltx"), kNewTemplate);
        EXPECT_EQ(backups().size(), 1u);
        const std::vector<ExcelStart> starts = excelStarts();
        ASSERT_EQ(starts.size(), ++runs);
        EXPECT_EQ(starts.back().commandLine, excelCommandLine("Auswertung.xlsm"));
    }
}

TEST_F(UpdaterRunTest, TheSameVersionAgainOffersNothing) {
    installApplication();
    Revision revision;
    revision.startFile = "Start.xlsm";
    writeApp("Temp\\revision.ini", revision.file());
    revision.startFile = "Auswertung.xlsm";  // the fresh description's start file counts
    serve(revision);
    const RunRecord result = runUpdater();

    EXPECT_TRUE(result.record.seenCaptions.empty());
    EXPECT_TRUE(windowsOf(result).empty());
    EXPECT_EQ(getTargets(), std::vector<std::string>{kRevisionPath});
    EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
    EXPECT_EQ(readApp("Temp\\revision.ini"), revision.file());
    expectExcelStartedOn("Auswertung.xlsm");
}

TEST_F(UpdaterRunTest, VersionsCompareAsTextNotAsNumbers) {
    installApplication();
    Revision installed;
    installed.version = "1.9";
    writeApp("Temp\\revision.ini", installed.file());

    Revision server;
    server.version = "1.10";  // the smaller text
    serve(server);
    const RunRecord older = runUpdater();
    EXPECT_TRUE(older.record.seenCaptions.empty()) << "1.10 was taken as newer than 1.9";
    EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);

    writeApp("Temp\\revision.ini", installed.file());
    server.version = "1.9.1";  // longer, with 1.9 in front: the greater text
    serve(server);
    const RunRecord newer = runUpdater({{"No", {}}});
    ASSERT_EQ(newer.record.boxes.size(), 1u) << "1.9.1 was not taken as newer than 1.9";
    EXPECT_EQ(newer.record.boxes[0].caption, server.title);
}

TEST_F(UpdaterRunTest, AnInterruptedInstallationIsOfferedAgain) {
    installApplication();
    const Revision revision;
    // A run that stopped between the moves left its mark beside the copy.
    writeApp("Temp\\revision.ini", revision.file());
    writeApp("Temp\\revision.ini.install", "");
    serve(revision);
    const RunRecord result = runUpdater({{"No", {}}});

    ASSERT_EQ(result.record.boxes.size(), 1u) << "the same version was not offered again";
    EXPECT_EQ(result.record.boxes[0].text, askText(revision.shownDescription()));
    EXPECT_FALSE(inApp("Temp\\revision.ini.install"));
    EXPECT_FALSE(inApp("Temp\\revision.ini"));
}

// ---- fetching the description ---------------------------------------------------------

TEST_F(UpdaterRunTest, AnHttpsAddressIsRefusedByTheDownload) {
    installApplication();
    writeSettings("https://127.0.0.1/updates/revision.ini");
    const RunRecord result = runUpdater({{"OK", {}}});

    ASSERT_EQ(result.record.boxes.size(), 1u);
    expectBox(result.record.boxes[0], "Morvane", "Only HTTP-service supported!", "OK", "none");
    EXPECT_FALSE(inApp("Temp\\revision.ini"));
    EXPECT_TRUE(server_.requests().empty());
    expectExcelStartedOn("Start.xlsm");
}

TEST_F(UpdaterRunTest, AnUnreachableServerEndsWithoutMessage) {
    installApplication();
    writeSettings("http://127.0.0.1:" + std::to_string(test::unusedPort()) +
                  "/updates/revision.ini");
    const auto started = std::chrono::steady_clock::now();
    const RunRecord result = runUpdater();

    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
    EXPECT_EQ(result.exitCode, 3u);
    expectLogged("/updates/revision.ini: 0 bytes, ");
    expectLogged("Run end: exit status 3");
    EXPECT_TRUE(result.record.seenCaptions.empty());
    EXPECT_FALSE(inApp("Temp\\revision.ini"));
    EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
    expectExcelStartedOn("Start.xlsm");
}

// ---- file installation -----------------------------------------------------------------

TEST_F(UpdaterRunTest, ADownloadErrorLeavesTheInstalledFilesAndAsksAgain) {
    installApplication();
    const Revision revision;
    serve(revision);
    server_.put("/updates/dateien/vorlagen/Bericht.xltx", {404, "<html>Not Found</html>", {}});
    const RunRecord result = runUpdater({{"Yes", {}}, {"OK", {}}});

    EXPECT_EQ(result.exitCode, 5u);
    expectLogged("/updates/dateien/vorlagen/Bericht.xltx: 0 bytes, ");
    expectLogged("failed: status 404");
    ASSERT_EQ(result.record.boxes.size(), 2u);
    EXPECT_EQ(result.record.boxes[0].caption, revision.title);
    expectBox(result.record.boxes[1], "Fehler beim Download einer Datei", kDownloadErrorText, "OK",
              "critical");
    // The first file waits in Temp; the error page was not stored; nothing
    // installed was touched.
    EXPECT_EQ(readApp("Temp\\Auswertung.xlsm"), kNewWorkbook);
    EXPECT_FALSE(inApp("Temp\\Vorlagen\\Bericht.xltx"));
    EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
    EXPECT_FALSE(inApp("Vorlagen\\Bericht.xltx"));
    EXPECT_FALSE(inApp("Backup"));
    // The copy of the description is gone, so the next run offers it again.
    EXPECT_FALSE(inApp("Temp\\revision.ini"));
    expectExcelStartedOn("Start.xlsm");

    const RunRecord again = runUpdater({{"No", {}}});
    ASSERT_EQ(again.record.boxes.size(), 1u) << "the failed update was not offered again";
    EXPECT_EQ(again.record.boxes[0].caption, revision.title);
}

TEST_F(UpdaterRunTest, ATargetOutsideTheApplicationFolderIsADownloadError) {
    installApplication();
    Revision revision;
    revision.files = {{"dateien/Auswertung.xlsm", "Auswertung.xlsm", ""},
                      {"dateien/Fremd.txt", "..\\Fremd.txt", ""}};
    serve(revision);
    server_.put("/updates/dateien/Fremd.txt", "fremder Inhalt");
    const RunRecord result = runUpdater({{"Yes", {}}, {"OK", {}}});

    ASSERT_EQ(result.record.boxes.size(), 2u);
    expectBox(result.record.boxes[1], "Fehler beim Download einer Datei", kDownloadErrorText, "OK",
              "critical");
    EXPECT_FALSE(root_.exists("Fremd.txt"));
    EXPECT_FALSE(inApp("Fremd.txt"));
    const std::vector<std::string> gets = getTargets();
    EXPECT_EQ(std::count(gets.begin(), gets.end(), "/updates/dateien/Fremd.txt"), 0);
    EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
    expectExcelStartedOn("Start.xlsm");
}

// Another program holds Daten.csv open without sharing: the run names the
// file before anything moves, and is answered once the holder let go.
class FileInUseTest : public UpdaterRunTest {
protected:
    // Version 2.0 replaces Auswertung.xlsm and Daten.csv.
    void offerNewDaten() {
        installApplication();
        writeApp("Daten.csv", "alte Daten");
        Revision revision;
        revision.files = {{"dateien/Auswertung.xlsm", "Auswertung.xlsm", ""},
                          {"dateien/Daten.csv", "Daten.csv", ""}};
        serve(revision);
        server_.put("/updates/dateien/Daten.csv", "neue Daten");
    }
    // Daten.csv held open by the file holder with `options`, until the file
    // "released" appears.
    ChildProcess holdDaten(const std::wstring& options) {
        ChildProcess holder =
            ChildProcess::start(L"\"" + kFileHolder + L"\" \"" + app_ + L"\\Daten.csv\" " +
                                options + L" --ready-file \"" + wide(root_.file("holding")) +
                                L"\" --release-file \"" + wide(root_.file("released")) + L"\"");
        for (int i = 0; i < 300 && !root_.exists("holding"); ++i) Sleep(50);
        EXPECT_TRUE(root_.exists("holding")) << "the file holder did not start";
        return holder;
    }

    RunRecord runWithDatenHeld(const std::string& choice) {
        offerNewDaten();
        const std::wstring answer = wide(root_.file("answer"));
        ChildProcess holder = holdDaten(L"");

        startDriver({{"Yes", {}}, {choice, answer}});
        ChildProcess& updater = startUpdater();
        DriverRecord seen;
        for (int i = 0; i < 600 && seen.seenCaptions.size() < 2; ++i) {
            Sleep(50);
            seen = driverRecordSoFar();
        }
        EXPECT_EQ(seen.seenCaptions.size(), 2u) << "no box for the file in use";
        EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook) << "a file moved before the box";
        root_.write("released", "");
        EXPECT_TRUE(holder.wait(10s));
        root_.write("answer", "");
        const RunRecord result = finish(updater);

        EXPECT_EQ(result.record.boxes.size(), 2u);
        if (result.record.boxes.size() == 2) {
            expectBox(result.record.boxes[1], "Datei in Verwendung",
                      "Die Datei Daten.csv wird gerade von einem anderen Programm verwendet." +
                          kCrLf + "Bitte schließen Sie das Programm und wählen Sie „Wiederholen“.",
                      "Retry,Cancel", "exclamation");
            EXPECT_EQ(result.record.boxes[1].pressed, choice);
        }
        return result;
    }
};

TEST_F(FileInUseTest, RetryOnceTheProgramLetGoInstallsEverything) {
    EXPECT_EQ(runWithDatenHeld("Retry").exitCode, 0u);
    expectLogged("In use by another program: ");
    expectLogged("Message box answered Retry");
    EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
    EXPECT_EQ(readApp("Daten.csv"), "neue Daten");
    EXPECT_EQ(backups().size(), 2u);
    expectExcelStartedOn("Auswertung.xlsm");
}

// Virus scanners, indexers and backups share everything with the files
// they read, so they keep nobody from moving them.
TEST_F(FileInUseTest, AScannerReadingAFileDoesNotStopTheInstallation) {
    offerNewDaten();
    ChildProcess scanner = holdDaten(L"--share-all");
    const RunRecord result = runUpdater({{"Yes", {}}});
    root_.write("released", "");
    EXPECT_TRUE(scanner.wait(10s));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.record.boxes.size(), 1u);
    EXPECT_EQ(readApp("Daten.csv"), "neue Daten");
    EXPECT_EQ(backups().size(), 2u);
}

TEST_F(FileInUseTest, CancelLeavesTheOldVersionAndTheUpdateOpen) {
    EXPECT_EQ(runWithDatenHeld("Cancel").exitCode, 6u);
    expectLogged("Installation cancelled before the first move: a file is in use");
    expectLogged("Run end: exit status 6 (moving failed)");
    EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
    EXPECT_EQ(readApp("Daten.csv"), "alte Daten");
    EXPECT_TRUE(backups().empty());
    EXPECT_FALSE(inApp("Temp\\revision.ini.install"));
    EXPECT_FALSE(inApp("Temp\\revision.ini.new"));
    expectExcelStartedOn("Start.xlsm");

    const RunRecord again = runUpdater({{"Yes", {}}});
    ASSERT_EQ(again.record.boxes.size(), 1u);
    EXPECT_EQ(readApp("Daten.csv"), "neue Daten");
    EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
}

// ---- the progress window --------------------------------------------------------------

TEST_F(UpdaterRunTest, ProgressWindowWithoutPictureIsAnEmptyCentredArea) {
    installApplication();
    Revision revision;
    revision.messageType = "1";
    serve(revision, 900ms);
    const RunRecord result = runUpdater({{"OK", {}}});

    const std::vector<WindowSeen> windows = windowsOf(result);
    ASSERT_FALSE(windows.empty()) << "no progress window";
    const COLORREF background = GetSysColor(COLOR_INACTIVECAPTION);
    for (const WindowSeen& window : windows) {
        SCOPED_TRACE(window.picture);
        expectProgressWindow(window, 347, 275);
        const Bitmap shown = readBitmap(window.bitmap);
        ASSERT_EQ(shown.width, 347);
        ASSERT_EQ(shown.height, 275);
        const auto other = std::count_if(shown.pixels.begin(), shown.pixels.end(),
                                         [&](COLORREF c) { return c != background; });
        EXPECT_EQ(other, 0) << "pixels other than the background colour";
    }
    EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
}

// A shortcut set to "Run: Maximized" asks for a maximized first window; the
// progress window keeps its size and place all the same.
TEST_F(UpdaterRunTest, ProgressWindowStartedMaximizedKeepsItsSize) {
    installApplication();
    Revision revision;
    revision.messageType = "1";
    serve(revision, 900ms);
    startDriver({{"OK", {}}});
    const RunRecord result = finish(startUpdater({}, SW_SHOWMAXIMIZED));

    const std::vector<WindowSeen> windows = windowsOf(result);
    ASSERT_FALSE(windows.empty()) << "no progress window";
    for (const WindowSeen& window : windows) {
        SCOPED_TRACE(window.picture);
        expectProgressWindow(window, 347, 275);
        EXPECT_EQ(window.style & WS_MAXIMIZE, 0u);
    }
    EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
}

TEST_F(UpdaterRunTest, ProgressWindowWithPictureShowsTheShareDone) {
    constexpr int kWidth = 360;
    constexpr int kHeight = 200;
    installApplication();
    writeApp("Updater.gif", makeGradientGif(kWidth, kHeight));
    Revision revision;
    revision.messageType = "1";
    serve(revision, 1200ms);
    const RunRecord result = runUpdater({{"OK", {}}});

    const std::vector<WindowSeen> windows = windowsOf(result);
    ASSERT_FALSE(windows.empty()) << "no progress window";
    // Frame and bar: x = 72, y = 160; the frame from (72, 160) to (287, 170),
    // the bar from (74, 162) to 74 + 211 × share, 168.
    const int x = 72;
    const int y = 160;
    const COLORREF line = GetSysColor(COLOR_ACTIVECAPTION);
    bool sawNothingDone = false;
    bool sawHalfDone = false;
    for (const WindowSeen& window : windows) {
        SCOPED_TRACE(window.picture);
        expectProgressWindow(window, kWidth, kHeight);
        const Bitmap shown = readBitmap(window.bitmap);
        ASSERT_EQ(shown.width, kWidth);
        ASSERT_EQ(shown.height, kHeight);
        // The picture at its natural size, from the top-left corner.
        EXPECT_EQ(shown.at(5, 5), pictureColour(5, kHeight));
        EXPECT_EQ(shown.at(kWidth - 1, 40), pictureColour(40, kHeight));
        EXPECT_EQ(shown.at(10, kHeight - 1), pictureColour(kHeight - 1, kHeight));
        // The frame's corners and edges.
        EXPECT_EQ(shown.at(x, y), line);
        EXPECT_EQ(shown.at(kWidth / 2, y), line);
        EXPECT_EQ(shown.at(x, y + 5), line);
        // The right edge: whether the corner column belongs to the outline is
        // the drawing layer's choice.
        EXPECT_TRUE(shown.at(kWidth - x - 2, y + 5) == line ||
                    shown.at(kWidth - x - 1, y + 5) == line);
        // Outside the frame and between frame and bar: the picture.
        EXPECT_EQ(shown.at(x - 1, y + 5), pictureColour(y + 5, kHeight));
        EXPECT_EQ(shown.at(x + 1, y + 5), pictureColour(y + 5, kHeight));
        const bool barStarted = shown.at(x + 4, y + 5) == line;
        const bool barAtMiddle = shown.at(kWidth / 2 - 10, y + 5) == line;
        const bool barAtEnd = shown.at(kWidth - x - 6, y + 5) == line;
        if (!barStarted && !barAtMiddle && !barAtEnd) sawNothingDone = true;
        if (barStarted && barAtMiddle && !barAtEnd) sawHalfDone = true;
    }
    EXPECT_TRUE(sawNothingDone) << "no picture with the bar at 0";
    EXPECT_TRUE(sawHalfDone) << "no picture with the bar at one half";
    EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
}

// ---- application start -----------------------------------------------------------------

TEST_F(UpdaterRunTest, AMissingStartFileIsReported) {
    installApplication();
    Revision revision;
    revision.startFile = "Fehlt.xlsm";
    writeApp("Temp\\revision.ini", revision.file());
    serve(revision);
    const RunRecord result = runUpdater({{"OK", {}}});

    ASSERT_EQ(result.record.boxes.size(), 1u);
    expectBox(result.record.boxes[0], "Start-Fehler", "Fehlt.xlsm konnte nicht gefunden werden!",
              "OK", "exclamation");
    expectExcelNotStarted();
}

TEST_F(UpdaterRunTest, TheStartFileIsLookedForInTheApplicationFolder) {
    installApplication();
    writeSettings("http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/revision.ini");
    // Started from another current folder, which has no such workbook.
    const std::wstring elsewhere = wide(root_.file("Anderswo"));
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    const RunRecord result = runUpdater({}, elsewhere);

    EXPECT_TRUE(result.record.seenCaptions.empty());
    expectExcelStartedOn("Start.xlsm");
}

TEST_F(UpdaterRunTest, ExcelInAFolderWithBlanksGetsTheWorkbookAsOneArgument) {
    const std::wstring office = wide(root_.file("Microsoft Office Ü"));
    ASSERT_TRUE(CreateDirectoryW(office.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(kExcelStub.c_str(), (office + L"\\EXCEL.EXE").c_str(), TRUE));
    // The registered server names the program's folder, as Office registers
    // its own: a short or long path and an argument after it.
    ASSERT_TRUE(fake_excel::registerServer(office + L"\\EXCEL.EXE /automation"));
    writeApp("Meine Mappe 1.xlsm", "Mappe");
    writeSettings("http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/revision.ini",
                  "Meine Mappe 1.xlsm");
    const RunRecord result = runUpdater();
    const std::wstring stub = office + L"\\EXCEL.EXE";
    for (int i = 0; i < 200 && isRunning(stub); ++i) Sleep(50);
    killProcesses({stub}, {});

    EXPECT_TRUE(result.record.seenCaptions.empty());
    const std::vector<ExcelStart> starts = readExcelStarts(excelRecord_);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].commandLine,
              "\"" + narrow(office) + "\\EXCEL.EXE\" \"" + appPath("Meine Mappe 1.xlsm") + "\"");
    EXPECT_EQ(starts[0].showWindow, SW_SHOWMAXIMIZED);
}

TEST_F(UpdaterRunTest, WithoutExcelItsErrorThenTheReportAndTheRunStillEnds) {
    fake_excel::removeRegistration();
    installApplication();
    writeSettings("http://127.0.0.1:" + std::to_string(test::unusedPort()) + "/revision.ini");
    const RunRecord result = runUpdater({{"OK", {}}, {"OK", {}}});

    EXPECT_EQ(result.exitCode, 7u);
    expectLogged("Run end: exit status 7 (an unexpected error was reported)");
    const std::string notAvailable = "Objekterstellung durch ActiveX-Komponente nicht möglich";
    ASSERT_EQ(result.record.boxes.size(), 2u);
    expectBox(result.record.boxes[0], "Fehler 429", notAvailable, "OK", "critical");
    const BoxSeen& report = result.record.boxes[1];
    EXPECT_EQ(report.caption, "Unbekannter Fehler");
    EXPECT_EQ(report.icon, "critical");
    EXPECT_EQ(report.buttons, "OK");
    EXPECT_TRUE(
        std::regex_match(report.text, std::regex("Es ist ein unerwarteter Fehler aufgetreten:\r\n"
                                                 ".+ \\(-?[0-9]+\\)\r\n"
                                                 "\\[Zeile AppMorvane\\.MainModule\\.Main\\]")))
        << report.text;
    expectExcelNotStarted();
}

// ---- signed updates --------------------------------------------------------------------

// Release 2.04 as the publisher signed it with openssl (support/signing_vectors.h):
// its two files carry their SHA-256, the settings name the publisher's key.
class SignedUpdaterRunTest : public UpdaterRunTest {
protected:
    static std::string bytes(std::string_view hex) {
        std::string out;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
        }
        return out;
    }

    void installSignedApplication() {
        writeApp("Start.xlsm", "Startmappe");
        writeApp("Auswertung.xlsm", kOldWorkbook);
        CreateDirectoryW((app_ + L"\\Temp").c_str(), nullptr);
        writeApp("Temp\\revision.ini", test::vectors::kOlderRelease);
        writeApp("Updater.ini", "[Adresse]\r\n" + server_.url(kRevisionPath) +
                                    "\r\n[Startdatei]\r\nStart.xlsm\r\n[Signatur]\r\n" +
                                    test::vectors::kPublicKey + "\r\n");
    }

    void serveSigned(const std::string& description) {
        server_.put(kRevisionPath, description);
        server_.put(kRevisionPath + ".sig", bytes(test::vectors::kReleaseSignature));
        server_.put("/updates/dateien/Auswertung.xlsm", kNewWorkbook);
        server_.put("/updates/dateien/vorlagen/Bericht.xltx", kNewTemplate);
    }

    void expectNothingChanged() {
        EXPECT_EQ(readApp("Auswertung.xlsm"), kOldWorkbook);
        EXPECT_FALSE(inApp("Vorlagen\\Bericht.xltx"));
        EXPECT_FALSE(inApp("Backup"));
    }
};

const std::string kUnsignedText = "Die Beschreibung der neuen Version ist nicht gültig signiert." +
                                  kCrLf + "Die Aktualisierung wird nicht durchgeführt.";

TEST_F(SignedUpdaterRunTest, ASignedUpdateInstalls) {
    installSignedApplication();
    serveSigned(test::vectors::kRelease);
    const RunRecord result = runUpdater({{"OK", {}}});

    ASSERT_EQ(result.record.boxes.size(), 1u);
    EXPECT_EQ(result.record.boxes[0].caption, "Morvane-Aktualisierung 2.04");
    EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
    EXPECT_EQ(readApp("Vorlagen\\Bericht.xltx"), kNewTemplate);
    EXPECT_EQ(readApp("Temp\\revision.ini"), test::vectors::kRelease);
    EXPECT_FALSE(inApp("Temp\\revision.ini.new"));
    EXPECT_FALSE(inApp("Temp\\revision.ini.new.sig"));
    expectExcelStartedOn("Auswertung.xlsm");
    expectLogged("The signature of the description was verified: key " +
                 keyFingerprint(test::vectors::kPublicKey));
}

TEST_F(SignedUpdaterRunTest, ADescriptionAlteredAfterSigningIsRefused) {
    installSignedApplication();
    std::string altered = test::vectors::kRelease;
    altered.replace(altered.find("Quartalszahlen"), 14, "Jahreszahlen!!");
    serveSigned(altered);
    const RunRecord result = runUpdater({{"OK", {}}});

    ASSERT_EQ(result.record.boxes.size(), 1u);
    expectBox(result.record.boxes[0], "Fehler", kUnsignedText, "OK", "critical");
    expectNothingChanged();
    EXPECT_EQ(readApp("Temp\\revision.ini"), test::vectors::kOlderRelease);
    // The old record names the workbook to start.
    expectExcelStartedOn("Auswertung.xlsm");
}

TEST_F(SignedUpdaterRunTest, ASwappedFileIsADownloadError) {
    installSignedApplication();
    serveSigned(test::vectors::kRelease);
    server_.put("/updates/dateien/vorlagen/Bericht.xltx", "fremde Vorlage mit Makros");
    const RunRecord result = runUpdater({{"OK", {}}, {"OK", {}}});

    ASSERT_EQ(result.record.boxes.size(), 2u);
    EXPECT_EQ(result.record.boxes[0].caption, "Morvane-Aktualisierung 2.04");
    expectBox(result.record.boxes[1], "Fehler beim Download einer Datei", kDownloadErrorText, "OK",
              "critical");
    expectNothingChanged();
    EXPECT_FALSE(inApp("Temp\\Vorlagen\\Bericht.xltx"));
    // Not recorded as installed: the record still names 2.03.
    EXPECT_EQ(readApp("Temp\\revision.ini"), test::vectors::kOlderRelease);
}

// ---- releases made by the publisher tool ------------------------------------------------

const std::wstring kPublish = wide(test::builtFile(MORVANE_E2E_PUBLISH));

class PublisherRunTest : public UpdaterRunTest {
protected:
    // Runs Publish.exe in the test's folder; its exit code.
    DWORD publish(const std::wstring& arguments) {
        ChildProcess tool =
            ChildProcess::start(L"\"" + kPublish + L"\" " + arguments, wide(root_.path()));
        if (!tool.wait(60s)) {
            ADD_FAILURE() << "Publish.exe did not end";
            tool.kill();
        }
        return tool.exitCode();
    }
};

// A publisher's folder turned into a release by Publish.exe, served as it
// wrote it, installed by Updater.exe; signed with a key of Publish.exe keygen
// when the parameter says so.
class PublishedUpdaterRunTest : public PublisherRunTest,
                                public ::testing::WithParamInterface<bool> {};

TEST_P(PublishedUpdaterRunTest, AReleaseMadeByThePublisherToolInstalls) {
    const bool signed_ = GetParam();
    std::filesystem::create_directories(root_.native("Release\\Vorlagen"));
    root_.write("Release\\Auswertung.xlsm", kNewWorkbook);
    root_.write("Release\\Vorlagen\\Bericht.xltx", kNewTemplate);
    root_.write("notes.txt", "Neue Auswertung der Quartalszahlen\r\n");
    std::string publicKey;
    if (signed_) {
        ASSERT_EQ(publish(L"keygen key.pem"), 0u);
        const publish::KeyReading key = publish::readPrivateKeyPem(root_.read("key.pem"));
        ASSERT_TRUE(key.key) << key.refusal;
        publicKey = publish::publicKeyBase64(*key.key);
    }
    const DWORD made = publish(
        L"make --from Release --version 2.04 --title \"Morvane 2.04\" --msg-typ 0 "
        L"--notes notes.txt --start Auswertung.xlsm --out Server" +
        std::wstring(signed_ ? L" --key key.pem" : L""));
    ASSERT_EQ(made, 0u);

    server_.put(kRevisionPath, root_.read("Server\\revision.ini"));
    if (signed_) {
        server_.put(kRevisionPath + ".sig", root_.read("Server\\revision.ini.sig"));
    }
    server_.put("/updates/Auswertung.xlsm", root_.read("Server\\Auswertung.xlsm"));
    server_.put("/updates/Vorlagen/Bericht.xltx", root_.read("Server\\Vorlagen\\Bericht.xltx"));
    installApplication();
    if (signed_) {
        writeApp("Updater.ini", "[Adresse]\r\n" + server_.url(kRevisionPath) +
                                    "\r\n[Startdatei]\r\nStart.xlsm\r\n[Signatur]\r\n" + publicKey +
                                    "\r\n");
    }
    const RunRecord result = runUpdater();

    EXPECT_TRUE(result.record.seenCaptions.empty());
    EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
    EXPECT_EQ(readApp("Vorlagen\\Bericht.xltx"), kNewTemplate);
    EXPECT_EQ(readApp("Temp\\revision.ini"), root_.read("Server\\revision.ini"));
    expectExcelStartedOn("Auswertung.xlsm");
}

INSTANTIATE_TEST_SUITE_P(SignedAndUnsigned, PublishedUpdaterRunTest, ::testing::Bool());

// The built Updater.exe with another file version (its fixed version
// information patched): what a publisher releases as the next updater.
std::string updaterOfVersion(std::uint16_t patch) {
    std::ifstream built(test::builtFile(MORVANE_E2E_UPDATER), std::ios::binary);
    std::string program(std::istreambuf_iterator<char>(built), {});
    // VS_FIXEDFILEINFO: signature, structure version, file version MS, LS;
    // the last part of the version is the low word of LS.
    const std::size_t fixed = program.find(std::string("\xBD\x04\xEF\xFE", 4));
    if (fixed == std::string::npos) {
        ADD_FAILURE() << "Updater.exe has no fixed version information";
        return program;
    }
    program[fixed + 12] = static_cast<char>(patch & 0xFF);
    program[fixed + 13] = static_cast<char>(patch >> 8);
    return program;
}

// A new updater in a signed release made by Publish.exe: it passes its
// self-test, takes the running program's place (which goes to Backup) and
// runs from the next start on.
TEST_F(PublisherRunTest, ASignedReleaseReplacesTheUpdaterAndTheNextStartRunsTheNewOne) {
    std::filesystem::create_directories(root_.native("Release"));
    root_.write("Release\\Auswertung.xlsm", kNewWorkbook);
    root_.write("notes.txt", "Neues Aktualisierungsprogramm\r\n");
    const std::string next = updaterOfVersion(7);
    root_.write("Updater-neu.exe", next);
    ASSERT_EQ(publish(L"keygen key.pem"), 0u);
    const publish::KeyReading key = publish::readPrivateKeyPem(root_.read("key.pem"));
    ASSERT_TRUE(key.key) << key.refusal;
    ASSERT_EQ(publish(L"make --from Release --version 2.04 --title \"Morvane 2.04\" --msg-typ 0 "
                      L"--notes notes.txt --start Auswertung.xlsm --key key.pem "
                      L"--updater Updater-neu.exe --out Server"),
              0u);
    for (const char* file :
         {"revision.ini", "revision.ini.sig", "Auswertung.xlsm", "Updater.exe"}) {
        server_.put("/updates/" + std::string(file), root_.read("Server\\" + std::string(file)));
    }
    installApplication();
    writeApp("Updater.ini", "[Adresse]\r\n" + server_.url(kRevisionPath) +
                                "\r\n[Startdatei]\r\nStart.xlsm\r\n[Signatur]\r\n" +
                                publish::publicKeyBase64(*key.key) + "\r\n");
    const std::string running = readApp("Updater.exe");
    runUpdater();

    EXPECT_EQ(readApp("Auswertung.xlsm"), kNewWorkbook);
    EXPECT_TRUE(readApp("Updater.exe") == next);
    bool kept = false;
    for (const std::string& name : backups()) {
        kept = kept || readApp("Backup\\" + name) == running;
    }
    EXPECT_TRUE(kept) << "the running updater is not in Backup";
    expectLogged("passed its self-test");
    expectExcelStartedOn("Auswertung.xlsm");

    runUpdater();
    expectLogged("Run start: Updater.exe version 1.0.0.7 in ");
}

// A file 300 characters deep below an absolute --from is released like any
// other, whatever the system's limit of 260 for old programs.
TEST_F(PublisherRunTest, PublishReleasesAFileWhosePathHas300Characters) {
    const std::string from = root_.file("Release");
    std::string relative = "Vorlagen";
    while (from.size() + relative.size() < 290) {
        relative += "\\Quartalsabschluss-Filialen-" + std::to_string(relative.size());
    }
    relative += "\\Bericht.xltx";
    ASSERT_GE(from.size() + relative.size(), 300u);
    publish::writeWholeFile(from + "\\" + relative, kNewTemplate);
    publish::writeWholeFile(from + "\\Auswertung.xlsm", kNewWorkbook);
    root_.write("notes.txt", "Tiefe Vorlagen\r\n");
    EXPECT_EQ(publish(L"make --from \"" + wide(from) +
                      L"\" --version 2.04 --title T --msg-typ 0 --notes notes.txt --start "
                      L"Auswertung.xlsm --out Server"),
              0u);
    EXPECT_NE(root_.read("Server\\revision.ini").find("Ziel = " + relative + "\r\n"),
              std::string::npos);
    EXPECT_EQ(publish::readWholeFile(root_.file("Server") + "\\" + relative), kNewTemplate);
    publish::removeTree(from);
    publish::removeTree(root_.file("Server"));
}

// The picture folder starts empty; at the end no program of the runs is left.
class SuiteEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::error_code ignored;
        const std::filesystem::path pictures(kPictures);
        for (const auto& entry : std::filesystem::directory_iterator(pictures, ignored)) {
            if (entry.path().extension() == L".png") std::filesystem::remove(entry.path(), ignored);
        }
    }

    void TearDown() override {
        const int left = killProcesses({kBoxDriver, kFakeExcel, kExcelStub, kFileHolder}, {});
        EXPECT_EQ(left, 0) << "programs of the runs were still running at the end";
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new SuiteEnvironment);

}  // namespace
}  // namespace morvane::e2e
