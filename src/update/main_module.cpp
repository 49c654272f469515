#include "update/main_module.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <optional>
#include <utility>

#include "download/logged_http.h"
#include "platform/text.h"
#include "update/file_run_log.h"
#include "update/logged_user_interface.h"
#include "update/patient_file_system.h"

namespace morvane {
namespace {

const char* const kCrLf = "\r\n";

std::string settingsMessage(const std::string& settingsFileName) {
    return std::string("Für die Aktualisierung muss eine Server-Adresse angegeben werden.") +
           kCrLf + "Dies geschieht über eine Datei " + settingsFileName + " im selben Verzeichnis.";
}

std::string withoutExtension(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

// The cause of an exit status in the words of the run log.
std::string statusCause(int exitStatus) {
    switch (exitStatus) {
        case status::Done:
            return "done";
        case status::AnotherInstance:
            return "another instance was running";
        case status::NoSettings:
            return "no readable settings file";
        case status::NoDescription:
            return "the description could not be fetched";
        case status::Declined:
            return "the update was declined";
        case status::DownloadFailed:
            return "a download failed during the installation";
        case status::MoveFailed:
            return "moving failed";
        case status::Unexpected:
            return "an unexpected error was reported";
        default:
            return "unknown";
    }
}

}  // namespace

MainModule::MainModule(Platform& platform) : MainModule(platform, quiet_) {}

MainModule::MainModule(Platform& platform, RunLog& log)
    : platform_(platform),
      log_(log),
      RevisionPath(platform.files, platform.clock),
      StartFile(platform.files, platform.clock) {}

int MainModule::Main() {
    const auto start = std::chrono::steady_clock::now();
    run();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    log("Run end: exit status " + decimal(exitStatus_) + " (" + statusCause(exitStatus_) + "), " +
        decimal(took.count()) + " ms");
    return exitStatus_;
}

void MainModule::run() {
    const std::string exeFolder = platform_.process.executableFolder();
    AppFolder = exeFolder + "\\";
    TempFolder = AppFolder + "Temp\\";
    BackupFolder = AppFolder + "Backup\\";
    programName_ = withoutExtension(platform_.process.executableName());
    SettingsPath = exeFolder + "\\" + programName_ + ".ini";
    log("Run start: " + platform_.process.executableName() + " version " +
        platform_.process.fileVersion() + " in " + exeFolder + ", user " +
        platform_.process.userName());

    // From here on every failure no step handles ends in the report; the
    // report is armed once and the closing steps after it run unguarded.
    try {
        if (platform_.process.anotherInstanceRunning()) {
            exitStatus_ = status::AnotherInstance;
            return;
        }
        // The instance mark sees this PC's session only; the lock in the
        // folder also keeps out runs on other PCs sharing it.
        const std::string lockPath = TempFolder + programName_ + ".lock";
        if (!platform_.process.lockFolder(lockPath)) {
            exitStatus_ = status::AnotherInstance;
            log("another run holds " + lockPath);
            return;
        }
        std::optional<UpdaterSettings> settings =
            readUpdaterSettings(platform_.files, SettingsPath);
        if (!settings) {
            exitStatus_ = status::NoSettings;
            log("Settings file " + SettingsPath + " could not be read");
            PathClass settingsFile = newPath();
            settingsFile.setFullPath(SettingsPath);
            platform_.ui.messageBox(settingsMessage(settingsFile.FullName()), box::Exclamation,
                                    "Fehler");
        } else {
            Settings = std::move(*settings);
            log("Settings file " + SettingsPath + " read");
            ServerUrl.setFullUrl(Settings.address);
            log("Address: " + ServerUrl.FullUrl());
            runPhases();
        }
        closeRun();
        return;
    } catch (const Failure& failure) {
        reportUnexpected(failure);
    } catch (const std::bad_alloc&) {
        reportUnexpected(Failure::of(err::OutOfMemory));
    } catch (const std::exception& other) {
        reportUnexpected(Failure(51, std::string("Interner Fehler: ") + other.what()));
    }
    try {
        closeRun();
    } catch (...) {
        // A second failure in the closing steps ends the run quietly: the
        // user has seen the report already.
    }
}

void MainModule::runPhases() {
    const CheckOutcome check = checkRevision();
    if (check == CheckOutcome::Stopped) {
        return;
    }
    if (check != CheckOutcome::NoUpdate) {
        const ProgressWindow window = check == CheckOutcome::UpdateWithProgress
                                          ? ProgressWindow::Shown
                                          : ProgressWindow::Hidden;
        if (installFiles(window) == Installation::Stopped) {
            return;
        }
    }
    StartFile.setFullPath(Revision.startFile);
}

void MainModule::closeRun() {
    platform_.progress.close();
    chooseAndStartApplication();
    platform_.ui.showArrowCursor();
}

void MainModule::reportUnexpected(const Failure& failure) {
    exitStatus_ = status::Unexpected;
    log("Unexpected error: " + failure.description() + " (" + decimal(failure.number()) + ")");
    platform_.ui.messageBox(std::string("Es ist ein unerwarteter Fehler aufgetreten:") + kCrLf +
                                failure.description() + " (" + decimal(failure.number()) + ")" +
                                kCrLf + "[Zeile AppMorvane.MainModule.Main]",
                            box::Critical, "Unbekannter Fehler");
}

int RunUpdater(Platform& platform, std::chrono::milliseconds revisionCheckTime) {
    // The log's place is worked out as Main works out the folders; a failure
    // here leaves the run without a log, never without its work.
    std::string logPath;
    try {
        logPath = platform.process.executableFolder() + "\\Temp\\" +
                  withoutExtension(platform.process.executableName()) + ".log";
    } catch (...) {
    }
    NullRunLog quiet;
    FileRunLog file(platform.files, platform.clock, logPath);
    RunLog& log = logPath.empty() ? static_cast<RunLog&>(quiet) : file;
    LoggedUserInterface ui(platform.ui, log);
    LoggedHttp http(platform.http, log);
    // The window keeps answering while a move waits for a scanner to let go:
    // a retry's pause handles messages at least every 50 ms.
    PatientFileSystem files(platform.files, log, [&ui](int milliseconds) {
        constexpr int kSlice = 50;
        for (int left = milliseconds; left > 0; left -= kSlice) {
            PatientFileSystem::sleep(std::min(left, kSlice));
            ui.processPendingMessages();
        }
    });
    Platform logged{
        files, platform.clock, ui, platform.process, http, platform.progress, platform.spreadsheet};
    MainModule run(logged, log);
    run.limitRevisionCheck(revisionCheckTime);
    return run.Main();
}

}  // namespace morvane
