#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "blockfile/ini_reader.h"
#include "download/download_module.h"
#include "paths/path_class.h"
#include "paths/url_class.h"
#include "platform/crypto.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/run_log.h"
#include "update/install_journal.h"
#include "update/revision_description.h"
#include "update/revision_limits.h"
#include "update/updater_settings.h"

namespace morvane {

// The updater's exit status: how the run ended, for those who roll it out.
namespace status {
inline constexpr int Done = 0;             // no newer version, or installed
inline constexpr int AnotherInstance = 1;  // another instance was running
inline constexpr int NoSettings = 2;       // no readable settings file
inline constexpr int NoDescription = 3;    // the description could not be fetched
inline constexpr int Declined = 4;         // the user declined the update
inline constexpr int DownloadFailed = 5;   // a file of the update could not be downloaded
inline constexpr int MoveFailed = 6;       // a file could not be moved into place
inline constexpr int Unexpected = 7;       // an unexpected error was reported
}  // namespace status

// One run of the updater: `Main` and its phases share the run state below.
// Start-up and the closing steps live in main_module.cpp; the revision check,
// the file installation and the application start in their own files.
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
    // Frame: start-up, the phases and the closing steps. The revision check
    // and the installation run one after the other, each with its own
    // outcome type; one that stops the run leads to the closing steps.
    void run();
    void runPhases();
    void closeRun();
    void reportUnexpected(const Failure& failure);
    // Adds an event to the run log.
    void log(const std::string& event) { log_.note(event); }
    PathClass newPath() { return PathClass(platform_.files, platform_.clock); }
    bool exists(const std::string& path);

    // Revision check and confirmation: the fresh description decides. It
    // ends without an update, with a confirmed one (whose installation shows
    // the progress window when the user saw the news in a message box), or
    // stopped because an earlier installation could not be put back (its
    // message shown; the run goes on to the closing steps).
    enum class CheckOutcome { NoUpdate, Update, UpdateWithProgress, Stopped };
    CheckOutcome checkRevision();
    // Fetches `source` to `target`, creating the target's folders; a target
    // ending in "\" gets the source's file name. True when the file arrived
    // and, when `sha256` is not empty, has that SHA-256 (64 hex digits). An
    // old target that cannot be replaced passes up as Failure. `limits`
    // bound the body as for Download.
    bool DownloadFile(UrlClass& source, PathClass& target, const std::string& sha256 = "",
                      const DownloadLimits& limits = {});
    // The limits of a revision check's download: `largest` bytes, by the
    // check's deadline; and whether that deadline has passed.
    DownloadLimits revisionCheckLimits(std::int64_t largest) const;
    bool revisionCheckTimedOut() const;
    // Signed updates. The key from the "Signatur" block of the settings;
    // false, after its message, when the settings ask for a key and hold no
    // usable one.
    bool readPublisherKey();
    // True when the signature at the description's URL + ".sig" signs the
    // file `description`; otherwise false after the refusal message.
    bool isSignedByPublisher(const PathClass& description);

    // File installation: downloads every listed file, then moves them into
    // place, all or nothing.
    enum class ProgressWindow { Hidden, Shown };
    enum class Installation { Installed, Stopped };
    Installation installFiles(ProgressWindow window);
    // Moves a file, creating the target's folders; never overwrites. True
    // when moved; failures are dropped silently.
    bool RelocateFile(PathClass& source, PathClass& target);
    Installation downloadAll();
    // Asks the user to close every program that holds a file about to be
    // replaced; false when the user cancels.
    bool filesCanBeReplaced();
    Installation moveAll(InstallJournal& journal);
    // Puts back what the moves of an installation did, last file first:
    // the new files go back to Temp, the earlier ones return from Backup.
    // False when a file could not be put back.
    bool rollBack(const std::vector<JournalEntry>& entries);
    // An installation that an earlier run did not finish is completed (its
    // record was already replaced) or rolled back. False when it could not
    // be rolled back: its journal then stays for the next run.
    bool recoverInterruptedInstallation();
    // True when every entry of a journal left behind is one its installation
    // wrote: a "Ziel" of the fresh description beside it that obeys the
    // rules, with its dated backup name. Nothing is put back from another.
    bool keepsToItsJob(const std::vector<JournalEntry>& entries);
    // Drops the fresh description: the record keeps the installed revision.
    void discardFreshRevision();
    // The fresh description while it is not yet the record, and the journal
    // of an installation in progress, both beside the record.
    std::string freshRevisionPath() const;
    std::string journalPath() const;
    // The "Ziel" of a file block may be installed: it obeys the rules for a
    // "Ziel" (a file below the folder, none of the updater's own files) and
    // no folder is in the way.
    bool obeysTargetRules(const std::string& target) const;
    bool isInstallableTarget(const std::string& target);
    // The installed file at `target` has the SHA-256 `sha256` (64 hex
    // digits; never for ""): it is neither fetched, nor moved, nor backed up.
    bool isInstalledAlready(const std::string& target, const std::string& sha256);
    // A backup name that nothing in Backup has yet.
    std::string freeBackupName(const std::string& target);
    // The "SHA256" of a file block ("" for none); nullopt when a key is
    // given and the block has none.
    std::optional<std::string> fileSha256(const FileEntry& file) const;
    // The "Größe" of a file block as the download's size; false when the
    // block gives one that is no number of bytes.
    bool fileSize(const FileEntry& file, DownloadLimits& limits) const;

    // Application start, closing step 2: the start file, or the message
    // that it is missing.
    void chooseAndStartApplication();
    // Starts the spreadsheet program maximized on `file` without waiting.
    // A failing start passes up.
    void StartWithExcel(const std::string& file);

    Platform& platform_;
    NullRunLog quiet_;
    RunLog& log_;
    int exitStatus_ = status::Done;

    // Frame
    std::string programName_;  // the executable's file name without extension
    std::string AppFolder;
    std::string TempFolder;
    std::string BackupFolder;
    std::string SettingsPath;
    UpdaterSettings Settings;
    // Revision check
    RevisionDescription Revision;
    UrlClass ServerUrl;
    PathClass RevisionPath;
    std::string OldVersion;
    std::string NewVersion;
    std::optional<box::Answer> Answer;  // none when no box asked
    std::optional<SignatureKey> publisherKey_;
    std::chrono::milliseconds revisionCheckTime_ = kRevisionCheckTime;
    std::chrono::steady_clock::time_point revisionCheckDeadline_;
    // File installation
    std::int16_t Downloaded = 0;
    std::set<std::int32_t> unchangedBlocks_;  // positions of files installed already
    // Application start
    PathClass StartFile;
};

// Builds the run over the host's adapters and runs it, with the run log
// Temp\<executable name>.log in the updater's folder. Returns the exit status.
// `revisionCheckTime` is the revision check's time limit.
int RunUpdater(Platform& platform,
               std::chrono::milliseconds revisionCheckTime = kRevisionCheckTime);

}  // namespace morvane
