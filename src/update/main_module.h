#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/failure.h"
#include "download/download_module.h"
#include "install/install_journal.h"
#include "paths/path_class.h"
#include "paths/url_class.h"
#include "platform/platform.h"
#include "platform/run_log.h"
#include "release/limits.h"
#include "release/release.h"
#include "update/run_context.h"
#include "update/run_outcome.h"

namespace morvane {

// One run of the updater. Each phase gets the run's context by reference and
// returns what it found; `Main` turns the final outcome into the exit
// status. Start-up and the closing steps live in main_module.cpp; the
// revision check, the file installation and the application start in their
// own files.
class MainModule {
public:
    // `log` receives the run's events; without one they are dropped.
    explicit MainModule(Platform& platform);
    MainModule(Platform& platform, RunLog& log);

    // The whole run: settings, revision check, installation, application
    // start. Returns the exit status (see `status`).
    int Main();

    // The revision check's time limit (see revision_limits.h), shorter for tests.
    void limitRevisionCheck(std::chrono::milliseconds time) { revisionCheckTime_ = time; }

private:
    using Deadline = std::chrono::steady_clock::time_point;

    // Frame: start-up, the phases and the closing steps.
    RunContext formRunContext();
    // The run from the instance check to the closing steps, with the
    // unexpected-error report armed.
    RunOutcome runWithReport(RunContext& run);
    // Reads the settings, then runs the revision check and, for an update,
    // the installation.
    RunOutcome runPhases(RunContext& run);
    void closeRun(const RunContext& run, const std::string& startFile);
    void reportUnexpected(const Failure& failure);
    // Adds an event to the run log.
    void log(const std::string& event) { log_.note(event); }
    PathClass newPath() { return PathClass(platform_.files, platform_.clock); }
    bool exists(const std::string& path);
    std::optional<Release> readReleaseFile(const std::string& path);

    // Revision check and confirmation: the fresh description decides. Sets
    // the publisher's key in `run` when the settings ask for one.
    CheckOutcome checkRevision(RunContext& run);
    // Fetches `source` to `target`, creating the target's folders; a target
    // ending in "\" gets the source's file name. True when the file arrived
    // and, when `sha256` is not empty, has that SHA-256 (64 hex digits). An
    // old target that cannot be replaced passes up as Failure. `limits`
    // bound the body as for Download.
    bool DownloadFile(UrlClass& source, PathClass& target, const std::string& sha256 = "",
                      const DownloadLimits& limits = {});
    // The limits of a revision check's download: `largest` bytes, by the
    // check's `deadline`; and whether that deadline has passed.
    static DownloadLimits revisionCheckLimits(std::int64_t largest, Deadline deadline);
    static bool hasPassed(Deadline deadline);
    // Signed updates. The key from the "Signatur" block of the settings into
    // `run`; false, after its message, when the settings ask for a key and
    // hold no usable one.
    bool readPublisherKey(RunContext& run);
    // True when the signature at the description's URL + ".sig" signs the
    // file `description`; otherwise false after the refusal message.
    bool isSignedByPublisher(const RunContext& run, const PathClass& description,
                             Deadline deadline);

    // File installation: downloads every listed file, then moves them into
    // place, all or nothing. The fresh description becomes the record only
    // when every file is installed.
    Installation installFiles(const RunContext& run, const Update& update);
    // Moves a file, creating the target's folders; never overwrites. True
    // when moved; failures are dropped silently.
    bool RelocateFile(PathClass& source, PathClass& target);
    // The block positions of the files that are installed already.
    using UnchangedBlocks = std::set<std::int32_t>;
    // Fetches every file of `Revision` into Temp but those installed
    // already, which it adds to `unchanged`; false after the download error
    // message when one could not be fetched.
    bool downloadAll(const RunContext& run, const Release& Revision, UnchangedBlocks& unchanged);
    // Asks the user to close every program that holds a file about to be
    // replaced; false when the user cancels.
    bool filesCanBeReplaced(const RunContext& run, const Release& Revision,
                            const UnchangedBlocks& unchanged);
    // Moves the fetched files into place, each current one to Backup first;
    // false when a new file could not be moved.
    bool moveAll(const RunContext& run, const Release& Revision, const UnchangedBlocks& unchanged,
                 InstallJournal& journal);
    // Puts back what the moves of an installation did, last file first:
    // the new files go back to Temp, the earlier ones return from Backup.
    // False when a file could not be put back.
    bool rollBack(const RunContext& run, const std::vector<JournalEntry>& entries);
    // An installation that an earlier run did not finish is completed (its
    // record was already replaced) or rolled back. False when it could not
    // be rolled back: its journal then stays for the next run.
    bool recoverInterruptedInstallation(const RunContext& run);
    // True when every entry of a journal left behind is one its installation
    // wrote: a "Ziel" of the fresh description beside it that obeys the
    // rules, with its dated backup name. Nothing is put back from another.
    bool keepsToItsJob(const RunContext& run, const std::vector<JournalEntry>& entries);
    // Drops the fresh description: the record keeps the installed revision.
    void discardFreshRevision(const RunContext& run);
    // The fresh description while it is not yet the record, and the journal
    // of an installation in progress, both beside the record.
    static std::string freshRevisionPath(const RunContext& run);
    static std::string journalPath(const RunContext& run);
    // The "Ziel" of a file block may be installed: it obeys the rules for a
    // "Ziel" (a file below the folder, none of the updater's own files) and
    // no folder is in the way.
    static bool obeysTargetRules(const RunContext& run, const std::string& target);
    bool isInstallableTarget(const RunContext& run, const std::string& target);
    // The installed file at `target` has the SHA-256 `sha256` (64 hex
    // digits; never for ""): it is neither fetched, nor moved, nor backed up.
    bool isInstalledAlready(const RunContext& run, const std::string& target,
                            const std::string& sha256);
    // A backup name that nothing in Backup has yet.
    std::string freeBackupName(const RunContext& run, const std::string& target);
    // The "SHA256" of a file block ("" for none); nullopt when a key is
    // given and the block has none.
    static std::optional<std::string> fileSha256(const RunContext& run, const FileEntry& file);
    // The "Größe" of a file block as the download's size; false when the
    // block gives one that is no number of bytes.
    static bool fileSize(const FileEntry& file, DownloadLimits& limits);

    // Application start, closing step 2: the workbook `startFile` names, or
    // else the settings file's, or the message that it is missing.
    void chooseAndStartApplication(const RunContext& run, const std::string& startFile);
    // Starts the spreadsheet program maximized on `file` without waiting.
    // A failing start passes up.
    void StartWithExcel(const std::string& file);

    Platform& platform_;
    NullRunLog quiet_;
    RunLog& log_;
    std::chrono::milliseconds revisionCheckTime_ = kRevisionCheckTime;
};

// Builds the run over the host's adapters and runs it, with the run log
// Temp\<executable name>.log in the updater's folder. Returns the exit status.
// `revisionCheckTime` is the revision check's time limit.
int runUpdater(Platform& platform,
               std::chrono::milliseconds revisionCheckTime = kRevisionCheckTime);

}  // namespace morvane
