#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/failure.h"
#include "platform/file_system.h"
#include "platform/run_log.h"

namespace morvane {

// The run's file system, patient with files that a virus scanner, an
// indexer, a backup or a sync client holds open for a moment just after
// they were written: a move, replace, delete or creation that another open
// is in the way of is tried again after short, growing pauses, for about ten
// seconds in all, each retry logged; a file in use is asked about again as
// long. Other failures and all other calls pass straight through to the
// host.
class PatientFileSystem : public FileSystem {
public:
    // Waits the given number of milliseconds.
    using Pause = std::function<void(int)>;
    // The plain pause: the thread sleeps.
    static void sleep(int milliseconds);

    PatientFileSystem(FileSystem& host, RunLog& log, Pause pause = sleep);

    // The pauses between the tries: doubling from the first, at most the
    // longest, and together the patience.
    static constexpr int kFirstPause = 10;
    static constexpr int kLongestPause = 500;
    static constexpr int kPatience = 10000;

    // Failures that another open of the file causes and that pass when it
    // is closed: the Windows codes access denied (5), sharing violation (32)
    // and lock violation (33); the catalogue's 70 (permission denied) for
    // the same on the other hosts. Told apart by their origin: the
    // catalogue's 5 is an invalid call, which waiting does not mend.
    static bool isPassing(const Failure& failure);

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
    void flushFiles(const std::vector<std::string>& paths) override;
    std::unique_ptr<WritableFile> openForAppending(const std::string& path) override;
    bool inUse(const std::string& path) override;
    bool isLinkOrDevice(const std::string& path) override;
    std::vector<std::string> fileNamesIn(const std::string& folder) override {
        return host_.fileNamesIn(folder);
    }

private:
    // Runs `step` until it succeeds, fails for another cause, or the
    // patience is used up; then the last failure passes up.
    void patiently(const std::string& what, const std::function<void()>& step);
    // Runs `attempt` until it succeeds or the patience is used up, logging
    // each retry with the `why` it gives; false when it never succeeded.
    bool waitFor(const std::string& what, const std::function<bool(std::string& why)>& attempt);

    FileSystem& host_;
    RunLog& log_;
    Pause pause_;
};

}  // namespace morvane
