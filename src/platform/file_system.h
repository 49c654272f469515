#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

// What a path names.
enum class EntryKind {
    File,
    Folder,
    Other,  // neither: a volume label
};

// What others may do with a file while this program holds it open for
// reading (the block files' lock modes 0 to 3).
enum class Sharing {
    ReadWrite = 0,  // others may read and write it
    Write = 1,      // others may write it only
    Read = 2,       // others may read it only
    Nothing = 3,    // others may neither read nor write it
};

// A file opened for reading. Every member throws Failure on an OS error.
class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    // Reads up to `count` bytes; fewer only at the end of the file.
    virtual std::size_t read(char* buffer, std::size_t count) = 0;
    virtual std::int64_t size() = 0;
    // Moves the read position to `offset` bytes from the start.
    virtual void seek(std::int64_t offset) = 0;
};

// A new file being written. Every member throws Failure on an OS error.
class WritableFile {
public:
    virtual ~WritableFile() = default;
    virtual void write(const char* data, std::size_t count) = 0;
    // Returns only when everything written so far is on the disk itself, so
    // that it survives a crash or a power loss.
    virtual void flush() = 0;
    // Closes the file. A file from createNew() is flushed first, so that it
    // is complete on disk after close; appended lines (a log) are not worth
    // a trip to the disk each and may still be in the host's cache.
    virtual void close() = 0;
};

// The file system, in Windows paths ("C:\...", "\" separators). On POSIX the
// adapter maps drive Z:\ to "/" the way Wine does.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // What the path names; nullopt when the query fails for any reason.
    virtual std::optional<EntryKind> entryKind(const std::string& path) = 0;
    // Creates one folder. Throws Failure (also when it exists already).
    virtual void createFolder(const std::string& path) = 0;
    // Deletes one file. Throws Failure.
    virtual void deleteFile(const std::string& path) = 0;
    // Renames or moves a file; fails when the target exists. Throws Failure.
    virtual void moveFile(const std::string& from, const std::string& to) = 0;
    // Moves a file into place, replacing a file at the target, also a
    // read-only one. Throws Failure.
    virtual void replaceFile(const std::string& from, const std::string& to) = 0;
    // Returns once the renames, creations and deletions inside the folder
    // are on the disk itself. Hosts whose file system journals them as they
    // happen need nothing; a POSIX host syncs the folder. Throws Failure.
    virtual void syncFolder(const std::string& path) { static_cast<void>(path); }
    // Opens an existing file for reading, letting others do what `othersMay`
    // says meanwhile. Throws Failure when the file cannot be opened.
    virtual std::unique_ptr<ReadableFile> openForReading(const std::string& path,
                                                         Sharing othersMay) = 0;
    // Creates a file for writing raw bytes, failing when one exists. Throws Failure.
    virtual std::unique_ptr<WritableFile> createNew(const std::string& path) = 0;
    // Creates a file as createNew() does, for one of many that flushFiles()
    // puts on the disk together later: its close() need not flush it. Hosts
    // that flush many files at once cheaper than each on its own leave it
    // to flushFiles(); the others flush it at close(). Throws Failure.
    virtual std::unique_ptr<WritableFile> createNewFlushedLater(const std::string& path) {
        return createNew(path);
    }
    // Returns once the bytes of the closed files at `paths`, made by
    // createNewFlushedLater() and perhaps moved since, are on the disk
    // itself. Nothing to do where close() flushed them. Throws Failure.
    virtual void flushFiles(const std::vector<std::string>& paths) { static_cast<void>(paths); }
    // Opens a file for adding bytes at its end, creating it when it does not
    // exist. Others may read, append, rename and delete it meanwhile. Throws
    // Failure.
    virtual std::unique_ptr<WritableFile> openForAppending(const std::string& path) = 0;
    // True when another program holds the existing file at `path` open so
    // that it cannot be moved away now; false when it can be, or when the
    // question cannot be answered (the move itself then tells).
    virtual bool inUse(const std::string& path) = 0;
    // Whether the entry at `path` itself, its link not followed, is a
    // symbolic link, a junction or anything but a plain file or folder (a
    // pipe, a device); false when there is none. Such an entry would take a
    // write or a move elsewhere, or hang a read.
    virtual bool isLinkOrDevice(const std::string& path) {
        static_cast<void>(path);
        return false;
    }
    // The names of the plain files in `folder` (no subfolders, no links);
    // none when it cannot be listed. A host that cannot list names none.
    virtual std::vector<std::string> fileNamesIn(const std::string& folder) {
        static_cast<void>(folder);
        return {};
    }
};

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() = 0;
};

}  // namespace morvane
