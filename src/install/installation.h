#pragma once

#include <functional>
#include <string_view>

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "install/install_folders.h"
#include "install/install_journal.h"
#include "install/install_plan.h"
#include "messages/messages.h"
#include "paths/path_class.h"
#include "platform/platform.h"
#include "platform/run_log.h"
#include "release/release.h"

namespace morvane {

// How an installation ended. It shows its own message when it stops.
enum class InstallResult {
    Installed,
    DownloadFailed,  // a file could not be fetched: nothing was moved
    InUse,           // the user gave up on a file in use: nothing was moved
    MoveFailed,      // a file could not be moved: all is put back
};

// Whether an installation shows the progress window: only after the user
// saw the news in a box and confirmed it.
enum class ProgressWindow { Hidden, Shown };

// Installs releases in the updater's folder, all or nothing: every file is
// downloaded into Temp first; then each current file moves to Backup under
// its dated name and the new one into its place, all the moves written to a
// journal first, so that this run or the next can put every file back.
class Installation {
public:
    // Tells whether a signature (the file beside the pending description,
    // its name + ".sig") signs a description with the publisher's key.
    using SignatureCheck =
        std::function<bool(std::string_view description, std::string_view signature)>;

    Installation(Platform& platform, RunLog& log, InstallFolders folders);

    // With a key, a journal is trusted only as far as the pending description
    // beside it is signed: recovery checks its signature before it moves
    // anything.
    void requireSignedPending(SignatureCheck check) { signatureCheck_ = std::move(check); }

    // Installs `release` by `plan`. The description's `bytes` become the
    // record once the last file is in place, never before.
    InstallResult install(const Release& release, const InstallPlan& plan, std::string_view bytes,
                          ProgressWindow window);

    // An installation that an earlier run did not finish is completed (its
    // record was already written) or rolled back. False, after the move
    // error message, when it could not be rolled back: its journal then
    // stays for the next run.
    bool recoverInterrupted();

private:
    // Fetches every file to install into Temp, each one the prefetch store
    // holds with its digest taken from there.
    bool downloadAll(const InstallPlan& plan);
    // Starts every new updater program, fetched into Temp, with
    // "--self-test"; false, logged, after the download error message when
    // one does not end well within kSelfTestPatience.
    bool newUpdaterCanRun(const InstallPlan& plan);
    // Why the program did not pass "--self-test"; empty when it did. A start
    // that another open of the fresh file refuses is tried again.
    std::string selfTestFault(const std::string& program);
    // Empties the prefetch store of every file the installed release does
    // not name.
    void keepInStoreOnly(const InstallPlan& plan);
    // Asks the user to close every program that holds a file about to be
    // replaced; false when the user cancels.
    bool filesCanBeReplaced(const InstallPlan& plan);
    // The moves of the files that change, each with a backup name of its own.
    std::vector<JournalEntry> plannedMoves(const InstallPlan& plan);
    // Moves the fetched files into place, each current one to Backup first;
    // false when a new file could not be moved.
    bool moveAll(const std::vector<JournalEntry>& moves);
    // Puts back what the moves of an installation did, last file first:
    // the new files go back to Temp, the earlier ones return from Backup.
    // Each move is one rename, so the files tell which of the `entries`
    // moved; the others are left alone. False when a file could not be put
    // back.
    bool rollBack(const std::vector<JournalEntry>& entries);
    // True when every entry of a journal left behind is one its installation
    // wrote: a "Ziel" of the `pending` description beside it that obeys the
    // rules, with its dated backup name. Nothing is put back from another.
    bool keepsToItsJob(const std::vector<JournalEntry>& entries,
                       const std::optional<std::string>& pending);
    // Moves a file, creating the target's folders; never overwrites. True
    // when moved; failures are logged and dropped.
    bool RelocateFile(PathClass& source, PathClass& target);
    // A backup name that nothing in Backup has yet, nor is `taken`.
    std::string freeBackupName(const std::string& target, const std::set<std::string>& taken);
    // Whether the pending description's signature beside it holds.
    bool pendingIsSigned(const std::optional<std::string>& pending);
    // Drops the pending description and its signature: the record keeps the
    // installed release.
    void discardPending();
    PathClass pathOf(const std::string& path);
    void log(const std::string& event) { log_.note(event); }

    Platform& platform_;
    RunLog& log_;
    Messages messages_;
    InstallFolders folders_;
    SignatureCheck signatureCheck_;
};

}  // namespace morvane
