#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace morvane::test {

// Thrown when the run is cut off. It is no std::exception, so nothing in
// the updater catches it: the run stops dead, as a kill or a power loss
// would stop it.
struct SimulatedCrash {};

// The host's file system with faults scripted in: moves that fail, files
// that are in use, and a crash after a number of changes to the disk.
class ScriptedFileSystem : public FileSystem {
public:
    explicit ScriptedFileSystem(FileSystem& host) : host_(host) {}

    // A move (or replace) whose source ends in this text fails with 70, as
    // often as `failMovesTimes` says (negative: every time).
    std::string failMovesFrom;
    int failMovesTimes = -1;
    // Answers inUse() instead of the host when set.
    std::function<bool(const std::string&)> inUseAnswer;
    // The number of changes (creating, writing and closing files, moving
    // and deleting them) that succeed before the crash; negative: no crash. The crashing write
    // puts half of its bytes on the disk, as a torn write would. Once
    // crashed, every call throws SimulatedCrash and changes nothing.
    long crashAfter = -1;
    // When set, changes count only from the creation of a file whose path
    // ends in this text on (that creation is the first counted).
    std::string countFrom;
    long changes = 0;
    // Every call that changes the disk, in order, as "<call> <path>" or
    // "<call> <from> > <to>": "create", "write", "flush", "close", "move",
    // "replace", "delete" and "sync" (a folder).
    std::vector<std::string> calls;
    bool crashed = false;
    // Crashes instead of the change it answers true for, asked with the
    // operation ("create", "move", "replace", "delete") and its (source) path.
    std::function<bool(const std::string&, const std::string&)> crashWhen;

    std::optional<EntryKind> entryKind(const std::string& path) override;
    void createFolder(const std::string& path) override;
    void deleteFile(const std::string& path) override;
    void moveFile(const std::string& from, const std::string& to) override;
    void replaceFile(const std::string& from, const std::string& to) override;
    void syncFolder(const std::string& path) override;
    std::unique_ptr<ReadableFile> openForReading(const std::string& path,
                                                 Sharing othersMay) override;
    std::unique_ptr<WritableFile> createNew(const std::string& path) override;
    std::unique_ptr<WritableFile> createNewFlushedLater(const std::string& path) override;
    // Recorded as "flush <path>" for each file.
    void flushFiles(const std::vector<std::string>& paths) override;
    bool inUse(const std::string& path) override;
    // The run log's appends are no step of the installation: never counted.
    std::unique_ptr<WritableFile> openForAppending(const std::string& path) override;

    // Counts one change; throws SimulatedCrash for the one that does not
    // happen any more.
    void change(const char* operation = "", const std::string& path = {});
    bool crashesAtNextChange() const {
        return countFrom.empty() && crashAfter >= 0 && changes == crashAfter;
    }
    // Throws SimulatedCrash once crashed.
    void alive() const;

private:
    void failScriptedMove(const std::string& from);

    FileSystem& host_;
};

}  // namespace morvane::test
