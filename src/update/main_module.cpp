#include "update/main_module.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <optional>
#include <utility>
#include <variant>

#include "base/text.h"
#include "blockfile/block_file_bytes.h"
#include "download/logged_http.h"
#include "install/patient_file_system.h"
#include "update/file_run_log.h"
#include "update/logged_user_interface.h"

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

std::optional<Release> MainModule::readReleaseFile(const std::string& path) {
    const std::optional<std::string> bytes = readBlockFileBytes(platform_.files, path);
    return bytes ? std::optional<Release>(parseRelease(*bytes)) : std::nullopt;
}

MainModule::MainModule(Platform& platform) : MainModule(platform, quiet_) {}

MainModule::MainModule(Platform& platform, RunLog& log) : platform_(platform), log_(log) {}

int MainModule::Main() {
    const auto start = std::chrono::steady_clock::now();
    RunContext context = formRunContext();
    const int exitStatus = runWithReport(context).exitStatus;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    log("Run end: exit status " + decimal(exitStatus) + " (" + statusCause(exitStatus) + "), " +
        decimal(took.count()) + " ms");
    return exitStatus;
}

RunContext MainModule::formRunContext() {
    RunContext run(platform_.files, platform_.clock);
    const std::string exeFolder = platform_.process.executableFolder();
    run.AppFolder = exeFolder + "\\";
    run.TempFolder = run.AppFolder + "Temp\\";
    run.BackupFolder = run.AppFolder + "Backup\\";
    run.programName = withoutExtension(platform_.process.executableName());
    run.SettingsPath = exeFolder + "\\" + run.programName + ".ini";
    log("Run start: " + platform_.process.executableName() + " version " +
        platform_.process.fileVersion() + " in " + exeFolder + ", user " +
        platform_.process.userName());
    return run;
}

RunOutcome MainModule::runWithReport(RunContext& run) {
    // The outcome of the phases; after a failure in the closing steps they
    // run once more with its start file.
    RunOutcome outcome;
    // From here on every failure no step handles ends in the report; the
    // report is armed once and the closing steps after it run unguarded.
    try {
        if (platform_.process.anotherInstanceRunning()) {
            return RunOutcome{status::AnotherInstance, ""};
        }
        // The instance mark sees this PC's session only; the lock in the
        // folder also keeps out runs on other PCs sharing it.
        const std::string lockPath = run.TempFolder + run.programName + ".lock";
        if (!platform_.process.lockFolder(lockPath)) {
            log("another run holds " + lockPath);
            return RunOutcome{status::AnotherInstance, ""};
        }
        outcome = runPhases(run);
        closeRun(run, outcome.startFile);
        return outcome;
    } catch (const Failure& failure) {
        reportUnexpected(failure);
    } catch (const std::bad_alloc&) {
        reportUnexpected(Failure::of(err::OutOfMemory));
    } catch (const std::exception& other) {
        reportUnexpected(Failure(51, std::string("Interner Fehler: ") + other.what()));
    }
    try {
        closeRun(run, outcome.startFile);
    } catch (...) {
        // A second failure in the closing steps ends the run quietly: the
        // user has seen the report already.
    }
    return RunOutcome{status::Unexpected, outcome.startFile};
}

RunOutcome MainModule::runPhases(RunContext& run) {
    const std::optional<std::string> settingsBytes =
        readBlockFileBytes(platform_.files, run.SettingsPath);
    if (!settingsBytes) {
        log("Settings file " + run.SettingsPath + " could not be read");
        PathClass settingsFile = newPath();
        settingsFile.setFullPath(run.SettingsPath);
        platform_.ui.messageBox(settingsMessage(settingsFile.FullName()), box::Exclamation,
                                "Fehler");
        return RunOutcome{status::NoSettings, ""};
    }
    run.Settings = parseSettings(*settingsBytes);
    log("Settings file " + run.SettingsPath + " read");
    run.ServerUrl.setFullUrl(run.Settings.address);
    log("Address: " + run.ServerUrl.FullUrl());
    run.RevisionPath.setFullPath(run.TempFolder + run.ServerUrl.FullName());

    CheckOutcome check = checkRevision(run);
    const Update* update = std::get_if<Update>(&check);
    if (update == nullptr) {
        return std::get<RunOutcome>(std::move(check));
    }
    switch (installFiles(run, *update)) {
        case Installation::Installed:
            return RunOutcome{status::Done, update->Revision.startFile};
        case Installation::DownloadFailed:
            return RunOutcome{status::DownloadFailed, ""};
        case Installation::MoveFailed:
            break;
    }
    return RunOutcome{status::MoveFailed, ""};
}

void MainModule::closeRun(const RunContext& run, const std::string& startFile) {
    platform_.progress.close();
    chooseAndStartApplication(run, startFile);
    platform_.ui.showArrowCursor();
}

void MainModule::reportUnexpected(const Failure& failure) {
    log("Unexpected error: " + failure.description() + " (" + decimal(failure.number()) + ")");
    platform_.ui.messageBox(std::string("Es ist ein unerwarteter Fehler aufgetreten:") + kCrLf +
                                failure.description() + " (" + decimal(failure.number()) + ")" +
                                kCrLf + "[Zeile AppMorvane.MainModule.Main]",
                            box::Critical, "Unbekannter Fehler");
}

int runUpdater(Platform& platform, std::chrono::milliseconds revisionCheckTime) {
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
