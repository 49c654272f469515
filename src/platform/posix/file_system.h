#pragma once

#include "platform/file_system.h"

namespace morvane::posix {

// The file system of a POSIX host, spoken to in Windows paths: drive Z:\ is
// "/", relative paths stay relative, other drives do not exist (entryKind()
// answers nullopt, every other call fails with 75).
//
// Windows sharing modes have no POSIX counterpart; they are emulated with
// advisory whole-file locks that only this adapter's own opens observe. See
// openForReading() for the details.
class PosixFileSystem : public FileSystem {
public:
    // Folder 16 for a directory; 32 (archive) for anything else, plus 1
    // (read-only) when nobody may write it.
    std::optional<EntryKind> entryKind(const std::string& path) override;
    void createFolder(const std::string& path) override;
    // Fails on a directory, as deleting a folder as a file does on Windows.
    void deleteFile(const std::string& path) override;
    void moveFile(const std::string& from, const std::string& to) override;
    void replaceFile(const std::string& from, const std::string& to) override;
    // fsync() on the folder: the one way POSIX makes its renames durable.
    void syncFolder(const std::string& path) override;
    // Lock modes as advisory locks, taken without waiting (a conflict fails
    // with 70 at once, as a sharing violation does on Windows):
    //   0: no lock; others may read and write.
    //   1: no lock either. "Others may write but not read" cannot be said with
    //      a shared/exclusive lock: either choice would also shut out writers.
    //   2: shared lock; conflicts with writers from createNew() and mode 3.
    //   3: exclusive lock; conflicts with every locking open.
    // The locks belong to the open file, not the process, so two opens in
    // one process conflict just as two processes do.
    std::unique_ptr<ReadableFile> openForReading(const std::string& path,
                                                 Sharing othersMay) override;
    // The new file holds an exclusive lock until it is closed, as a Windows
    // file created without sharing shuts out other readers.
    std::unique_ptr<WritableFile> createNew(const std::string& path) override;
    // The same file without the flush at close().
    std::unique_ptr<WritableFile> createNewFlushedLater(const std::string& path) override;
    // Linux: one syncfs() for each file system the files lie on, which
    // writes them all and commits the file system's journal once; fsync()
    // of each file would commit it once per file (and flush the disk's
    // cache each time). It also writes what else waits in that file
    // system's cache. Elsewhere fsync() of each file.
    void flushFiles(const std::vector<std::string>& paths) override;
    // O_APPEND: every write lands at the end, also beside other writers.
    std::unique_ptr<WritableFile> openForAppending(const std::string& path) override;
    // POSIX lets a file be renamed whoever has it open, so "in use" is the
    // closest honest equivalent of a Windows file opened without sharing: a
    // whole-file lock (flock, as this adapter's own opens take) or a record
    // lock (fcntl, as office programs take on open documents) held on it.
    bool inUse(const std::string& path) override;
    bool isLinkOrDevice(const std::string& path) override;
    std::vector<std::string> fileNamesIn(const std::string& folder) override;
};

// The host's local date and time.
class PosixClock : public Clock {
public:
    LocalTime now() override;
};

}  // namespace morvane::posix
