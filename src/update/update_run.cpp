#include "update/update_run.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <thread>
#include <utility>
#include <variant>

#include "base/scope_guard.h"
#include "base/text.h"
#include "blockfile/block_file_bytes.h"
#include "download/logged_http.h"
#include "install/install_plan.h"
#include "install/installation.h"
#include "install/patient_file_system.h"
#include "messages/messages.h"
#include "release/release.h"
#include "release/release_rules.h"
#include "update/application_start.h"
#include "update/file_run_log.h"
#include "update/logged_user_interface.h"
#include "update/prefetch.h"
#include "update/revision_check.h"
#include "update/run_context.h"
#include "update/run_end.h"
#include "update/run_report.h"
#include "update/signature_check.h"
#include "update/silent_user_interface.h"

namespace morvane {
namespace {

std::string withoutExtension(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

// Where a run leaves its exit status for the next one to report.
std::string statusPath(const RunContext& run) {
    return run.TempFolder + run.programName + ".status";
}

// The folder lock's file.
std::string lockPathOf(const RunContext& run) {
    return run.TempFolder + run.programName + ".lock";
}

// The record as it stands; nullopt when there is none.
std::optional<Release> readRecord(const RunContext& run, FileSystem& files) {
    const std::optional<std::string> bytes = readBlockFileBytes(files, run.RevisionPath.FullPath());
    return bytes ? std::optional<Release>(parseRelease(*bytes)) : std::nullopt;
}

class UpdateRun {
public:
    UpdateRun(Platform& platform, RunLog& log, std::chrono::milliseconds revisionCheckTime,
              std::chrono::milliseconds lockPatience, RunMode mode)
        : platform_(platform),
          log_(log),
          revisionCheckTime_(revisionCheckTime),
          lockPatience_(lockPatience),
          mode_(mode) {}

    RunContext formRunContext() {
        RunContext run(platform_.files, platform_.clock);
        const std::string exeFolder = platform_.process.executableFolder();
        run.AppFolder = exeFolder + "\\";
        run.TempFolder = run.AppFolder + "Temp\\";
        run.BackupFolder = run.AppFolder + "Backup\\";
        run.programFile = platform_.process.executableName();
        run.programName = withoutExtension(run.programFile);
        run.computerName = platform_.process.computerName();
        run.SettingsPath = exeFolder + "\\" + run.programName + ".ini";
        log_.note("Run start: " + platform_.process.executableName() + " version " +
                  platform_.process.fileVersion() + " in " + exeFolder + ", user " +
                  platform_.process.userName() + (mode_ == RunMode::Prefetch ? ", prefetch" : ""));
        run.mode = mode_;
        return run;
    }

    // The run from the instance check to the closing steps, with the
    // unexpected-error report armed: a failure that no step handles is
    // reported once, and the closing steps run once after it.
    RunEnd runWithReport(RunContext& run) {
        std::optional<RunEnd> phases;
        bool reported = false;
        try {
            // A prefetch claims no instance mark: the user's own start is
            // never turned away by it; the folder lock keeps the two apart.
            if (mode_ == RunMode::Normal && platform_.process.anotherInstanceRunning()) {
                return RunEnd::AnotherInstance;
            }
            phases = runPhases(run);
        } catch (...) {
            reportUnexpected(std::current_exception());
            reported = true;
        }
        try {
            if (mode_ == RunMode::Normal) {
                closeRun(run, phases.value_or(RunEnd::Unexpected));
            }
        } catch (...) {
            // A failure in the closing steps after a report ends the run
            // quietly: the user has seen the report already.
            if (!reported) {
                reportUnexpected(std::current_exception());
                reported = true;
            }
        }
        return reported ? RunEnd::Unexpected : *phases;
    }

private:
    // Reads the settings, puts back an interrupted installation, then runs
    // the revision check and, for an update, the installation.
    RunEnd runPhases(RunContext& run) {
        const std::optional<std::string> settings =
            readBlockFileBytes(platform_.files, run.SettingsPath);
        const std::optional<std::string> fault =
            settings ? settingsTextFault(*settings) : std::nullopt;
        if (!settings || fault) {
            log_.note("Settings file " + run.SettingsPath + " could not be read" +
                      (fault ? ": " + *fault : std::string()));
            PathClass settingsFile(platform_.files, platform_.clock);
            settingsFile.setFullPath(run.SettingsPath);
            Messages(platform_.ui).settingsMissing(settingsFile.FullName());
            return RunEnd::NoSettings;
        }
        run.Settings = parseSettings(*settings);
        log_.note("Settings file " + run.SettingsPath + " read");
        run.ServerUrl.setFullUrl(run.Settings.address);
        log_.note("Address: " + run.ServerUrl.FullUrl());
        run.RevisionPath.setFullPath(run.TempFolder + run.ServerUrl.FullName());

        Installation installation(platform_, log_, run.installFolders());
        // The key is read before an interrupted installation is looked at:
        // with one, a journal counts only beside a signed description.
        PublisherKey publisher = publisherKeyOf(run.Settings);
        const bool keyUsable = publisher.usable();
        run.publisherKey = std::move(publisher.key);
        if (publisher.required) {
            installation.requireSignedPending(
                [&run](std::string_view description, std::string_view signature) {
                    return run.publisherKey && run.publisherKey->verifies(description, signature);
                });
        }
        // What another run left in Temp may be its installation going on: it
        // is looked at under the folder lock only.
        if (interruptedInstallationMayBeThere(run) && mode_ == RunMode::Prefetch) {
            return leftForAnInstallation(run);
        }
        if (interruptedInstallationMayBeThere(run)) {
            const ScopeGuard unlock([this] { platform_.process.unlockFolder(); });
            if (!holdFolderLock(run)) {
                const std::optional<Release> record = readRecord(run, platform_.files);
                Messages(platform_.ui).folderBeingUpdated(record ? record->title : "");
                return RunEnd::FolderLocked;
            }
            if (!installation.recoverInterrupted()) {
                return RunEnd::RecoveryFailed;
            }
        }
        const std::optional<Release> record = readRecord(run, platform_.files);
        if (!keyUsable) {
            Messages(platform_.ui).signatureKeyUnusable(run.programName);
            log_.note("The key in the settings' Signatur block cannot be read");
            return RunEnd::KeyUnusable;
        }
        if (run.publisherKey) {
            run.keyFingerprint = keyFingerprint(run.Settings.signatureKey);
            log_.note("Signed updates only: key " + run.keyFingerprint);
        } else {
            log_.note("Warning: unsigned: no [Signatur] in the settings");
        }
        platform_.http.identifyAs(userAgentOf(
            RunReport{platform_.process.fileVersion(),
                      record ? std::optional<std::string>(record->version) : std::nullopt,
                      readPreviousStatus(platform_.files, statusPath(run)), run.computerName,
                      run.Settings.anonymousReport}));

        CheckResult check =
            checkRevision(run, record ? record->version : "", revisionCheckTime_, platform_, log_);
        // The signature kept for an installation goes when none follows.
        if (const std::string signature = run.installFolders().pendingSignature();
            mode_ == RunMode::Normal && !std::holds_alternative<Offer>(check) &&
            platform_.files.entryKind(signature)) {
            platform_.files.deleteFile(signature);
        }
        if (std::holds_alternative<NothingNewer>(check)) {
            return RunEnd::NothingNewer;
        }
        if (const Refused* refused = std::get_if<Refused>(&check)) {
            return refused->end;
        }
        const Offer& offer = std::get<Offer>(check);
        if (mode_ == RunMode::Prefetch) {
            return prefetch(run, offer);
        }
        // Only the installation itself holds the folder lock: a question
        // left open never keeps the colleagues sharing the folder waiting.
        const ScopeGuard unlock([this] { platform_.process.unlockFolder(); });
        if (!holdFolderLock(run)) {
            Messages(platform_.ui).folderBeingUpdated(offer.release.title);
            return RunEnd::FolderLocked;
        }
        // Another run may have installed meanwhile, or been interrupted.
        if (!installation.recoverInterrupted()) {
            return RunEnd::RecoveryFailed;
        }
        const std::optional<Release> now = readRecord(run, platform_.files);
        if (now && !isNewerVersion(offer.release.version, now->version)) {
            log_.note("Version \"" + now->version +
                      "\" was installed by another run meanwhile: nothing more to install");
            return RunEnd::NothingNewer;
        }
        const InstallPlan plan =
            planInstallation(offer.release, run.ServerUrl.FullUrl(), run.installFolders(),
                             run.publisherKey.has_value(), platform_.files,
                             [this] { platform_.ui.processPendingMessages(); });
        switch (installation.install(offer.release, plan, offer.bytes, offer.window)) {
            case InstallResult::Installed:
                return RunEnd::Installed;
            case InstallResult::DownloadFailed:
                return RunEnd::DownloadFailed;
            case InstallResult::InUse:
                return RunEnd::InUse;
            case InstallResult::MoveFailed:
                break;
        }
        return RunEnd::MoveFailed;
    }

    // A prefetch leaves an installation under way or interrupted to the
    // runs that install: it fetches nothing beside it.
    RunEnd leftForAnInstallation(const RunContext& run) {
        log_.note("Prefetch: an installation is under way or was interrupted in " + run.TempFolder +
                  ": nothing is fetched");
        return RunEnd::FolderLocked;
    }

    // Fetches the files of the offered release that are to be installed
    // and carry a SHA-256 into the prefetch store, under the folder lock,
    // which it does not wait for; the store keeps only them.
    RunEnd prefetch(const RunContext& run, const Offer& offer) {
        const ScopeGuard unlock([this] { platform_.process.unlockFolder(); });
        const std::string lockPath = lockPathOf(run);
        if (std::string why; !platform_.process.lockFolder(lockPath, why)) {
            log_.note("Prefetch: the folder lock " + lockPath + " cannot be had (" + why +
                      "): nothing is fetched");
            return RunEnd::FolderLocked;
        }
        if (interruptedInstallationMayBeThere(run)) {
            return leftForAnInstallation(run);
        }
        if (const std::optional<Release> now = readRecord(run, platform_.files);
            now && !isNewerVersion(offer.release.version, now->version)) {
            log_.note("Prefetch: version \"" + now->version + "\" was installed meanwhile");
            return RunEnd::NothingNewer;
        }
        return fillPrefetchStore(run, offer.release, platform_, log_);
    }

    // Whether Temp holds what an installation leaves while it runs or when
    // it is interrupted.
    bool interruptedInstallationMayBeThere(const RunContext& run) {
        const InstallFolders folders = run.installFolders();
        return platform_.files.entryKind(folders.journal()).has_value() ||
               platform_.files.entryKind(folders.pending()).has_value();
    }

    // Takes the folder lock, waiting for another run to let it go for up to
    // the lock patience, the window answering. False, logged, when it is
    // still not to be had.
    bool holdFolderLock(const RunContext& run) {
        const std::string lockPath = lockPathOf(run);
        const auto giveUp = std::chrono::steady_clock::now() + lockPatience_;
        const std::string lock = "The folder lock " + lockPath;
        std::string why;
        bool waiting = false;
        while (!platform_.process.lockFolder(lockPath, why)) {
            if (std::chrono::steady_clock::now() >= giveUp) {
                log_.note(lock + " is still not to be had: " + std::move(why));
                return false;
            }
            if (!waiting) {
                std::string line = lock + " cannot be had (";
                line += why;
                line += "): waiting up to " + decimal(lockPatience_.count() / 1000) + " s";
                log_.note(line);
                waiting = true;
            }
            constexpr auto kSlice = std::chrono::milliseconds(50);
            std::this_thread::sleep_for(kSlice);
            platform_.ui.processPendingMessages();
        }
        return true;
    }

    // The closing steps: the progress window goes, the workbook is started,
    // the arrow cursor is back.
    void closeRun(const RunContext& run, RunEnd end) {
        const ScopeGuard arrowCursor([this] { platform_.ui.showArrowCursor(); });
        platform_.progress.close();
        std::string startFile;
        if (startsTheRecordsWorkbook(end)) {
            const std::optional<Release> record = readRecord(run, platform_.files);
            startFile = record ? record->startFile : "";
        }
        chooseAndStartApplication(run, startFile, platform_, log_);
    }

    void reportUnexpected(const std::exception_ptr& caught) {
        try {
            std::rethrow_exception(caught);
        } catch (const Failure& failure) {
            reportUnexpected(failure);
        } catch (const std::bad_alloc&) {
            reportUnexpected(Failure::of(err::OutOfMemory));
        } catch (const std::exception& other) {
            reportUnexpected(Failure(51, std::string("Interner Fehler: ") + other.what()));
        }
    }

    void reportUnexpected(const Failure& failure) {
        log_.note("Unexpected error: " + failure.description() + " (" + decimal(failure.number()) +
                  ")");
        Messages(platform_.ui).unexpectedError(failure);
    }

    Platform& platform_;
    RunLog& log_;
    std::chrono::milliseconds revisionCheckTime_;
    std::chrono::milliseconds lockPatience_;
    RunMode mode_;
};

}  // namespace

int Main(Platform& platform, RunLog& log, std::chrono::milliseconds revisionCheckTime,
         std::chrono::milliseconds lockPatience, RunMode mode) {
    const auto start = std::chrono::steady_clock::now();
    // A prefetch runs unseen: whatever would show a box only logs it.
    SilentUserInterface silent(log);
    Platform unseen{platform.files,    platform.clock,      silent, platform.process, platform.http,
                    platform.progress, platform.spreadsheet};
    UpdateRun updateRun(mode == RunMode::Prefetch ? unseen : platform, log, revisionCheckTime,
                        lockPatience, mode);
    RunContext run = updateRun.formRunContext();
    const ExitStatus status = exitStatusOf(updateRun.runWithReport(run));
    // The status the next request reports is that of the runs the user sees.
    if (mode == RunMode::Normal) {
        keepStatus(platform.files, statusPath(run), static_cast<int>(status));
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    log.note("Run end: exit status " + decimal(static_cast<int>(status)) + " (" +
             statusCause(status) + "), " + decimal(took.count()) + " ms");
    return static_cast<int>(status);
}

int Main(Platform& platform) {
    NullRunLog quiet;
    return Main(platform, quiet);
}

int runUpdater(Platform& platform, std::chrono::milliseconds revisionCheckTime,
               std::chrono::milliseconds lockPatience, RunMode mode) {
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
    return Main(logged, log, revisionCheckTime, lockPatience, mode);
}

}  // namespace morvane
