#pragma once

#include <memory>
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
// file back: a first line, then one line per file, each written whole and
// flushed to the disk before the moves it announces.
class InstallJournal {
public:
    InstallJournal(FileSystem& files, std::string path);

    // Creates the journal (a Failure when that is impossible, also when one
    // exists) and writes its first line.
    void begin();
    // Appends one entry and returns once it is on the disk. Throws Failure.
    void record(const JournalEntry& entry);
    // Closes and deletes the journal. False when it could not be deleted.
    bool remove();

    const std::vector<JournalEntry>& entries() const { return entries_; }

private:
    void append(const std::string& line);

    FileSystem& files_;
    std::string path_;
    std::unique_ptr<WritableFile> file_;
    std::vector<JournalEntry> entries_;
};

// What a journal left by an earlier run says. `complete` is false when its
// first line is missing or torn: no entry follows then (also in the empty
// mark that earlier versions left). Only whole lines count, so a line torn
// by the cut-off is left out.
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
