#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace morvane {

// One file of an installation, recorded before its current version moves
// to the backup and its new version into place.
struct JournalEntry {
    std::string target;  // the "Ziel": the file's path below the application's folder
    std::string backup;  // the backup's path below the Backup folder

    bool operator==(const JournalEntry&) const = default;
};

// The journal of an installation in progress. It lies beside the local copy
// of the revision description while files are being moved, so that a run
// cut off at any instant leaves enough behind for the next run to put every
// file back. It holds the installation's whole plan: a first line, one line
// per file whose current version moves to Backup and new version into
// place, and a last line; all of it written and flushed to the disk once,
// before the first move. Each move is one rename, so the files themselves
// tell how far the plan went.
class InstallJournal {
public:
    InstallJournal(FileSystem& files, std::string path);

    // Creates the journal with the plan of `moves` and returns once it is on
    // the disk. Throws Failure, also when a journal exists.
    void write(std::vector<JournalEntry> moves);
    // Deletes the journal. False when it could not be deleted.
    bool remove();

    const std::vector<JournalEntry>& entries() const { return entries_; }

private:
    FileSystem& files_;
    std::string path_;
    std::vector<JournalEntry> entries_;
};

// What a journal left by an earlier run says. A plan counts only whole,
// down to its last line: one cut off while it was written names nothing,
// since no file moves before it is on the disk. Earlier versions announced
// one file at a time, each line before that file's moves; of such a journal
// every whole line counts, a line torn by the cut-off is left out. `complete`
// is false when the first line is missing or torn, or a plan is not whole:
// no entry follows then (also in the empty mark that earlier versions left).
struct JournalContents {
    bool complete = false;
    std::vector<JournalEntry> entries;
};

// Reads the journal at `path`; nullopt when there is none or it cannot be read.
// The entries are what the lines say: whether they may be acted on is the
// reader's decision (a journal lies in a folder others can write to).
std::optional<JournalContents> readJournal(FileSystem& files, const std::string& path);

// True when `backup` is a name the installation gives the backup of
// `target`: the target with the local time "_YYYY-MM-DD_hh.mm.ss", perhaps
// followed by a counter "_2", "_3", ..., before the last "." of its file
// name, or at its end when the file name has none.
bool isDatedBackupName(std::string_view target, std::string_view backup);

}  // namespace morvane
