#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "platform/file_system.h"

namespace morvane::test {

// An in-memory file system in Windows paths, behaving as Windows does where
// the updater can tell: names compare without regard to case, drive roots
// ("C:\") always exist, a folder may be named with or without its final "\",
// a new file or folder needs its parent folder, open files follow the
// sharing rules of their lock modes, and an open file cannot be deleted or
// moved. Failure switches make chosen calls fail.
//
// Failures it raises on its own: 53 for a missing file or parent folder, 75
// for a target that exists, 70 for a folder used as a file, a sharing
// conflict or an open file, 5 for a lock mode outside 0..3.
class FakeFileSystem : public FileSystem {
public:
    enum class Operation {
        Attributes,
        CreateFolder,
        DeleteFile,
        MoveFile,     // matched on the source path
        ReplaceFile,  // matched on the source path
        OpenForReading,
        CreateNew,
        Write,  // matched on the path the file was created as
        Close,
        OpenForAppending,
    };

    FakeFileSystem();
    ~FakeFileSystem() override;

    // Set-up. Both create any missing parent folders; addFile replaces a file.
    void addFile(const std::string& path, const std::string& content = {});
    void addFolder(const std::string& path);
    // Overrides what an existing file or folder is reported to be.
    void setKind(const std::string& path, EntryKind kind);
    // Holds `path` open as another program would, until the returned token
    // goes: `writing` chooses write access instead of read access, and
    // `othersMay` what that holder lets others do.
    std::shared_ptr<void> holdOpen(const std::string& path, bool writing, Sharing othersMay);

    // Failure switches. `failure` is thrown by the next `times` calls of
    // `operation` on `path` (any path when empty); times < 0 means always.
    void fail(Operation operation, const std::string& path, Failure failure, int times = -1);
    // Writes fail with `failure` once `bytes` bytes have been written to one
    // file; the bytes up to the limit are kept, like on a full disk.
    void failWritesAfter(std::size_t bytes, Failure failure);

    // Inspection.
    bool hasFile(const std::string& path) const;
    bool hasFolder(const std::string& path) const;
    // The content of a file; nullopt when there is none.
    std::optional<std::string> content(const std::string& path) const;
    // All files and folders as spelled when created, in order of their
    // case-folded names; folders end in "\".
    std::vector<std::string> entries() const;

    // Every createFolder request, exactly as passed, in order.
    const std::vector<std::string>& folderRequests() const;

    // FileSystem
    std::optional<EntryKind> entryKind(const std::string& path) override;
    void createFolder(const std::string& path) override;
    void deleteFile(const std::string& path) override;
    void moveFile(const std::string& from, const std::string& to) override;
    void replaceFile(const std::string& from, const std::string& to) override;
    std::unique_ptr<ReadableFile> openForReading(const std::string& path,
                                                 Sharing othersMay) override;
    std::unique_ptr<WritableFile> createNew(const std::string& path) override;
    std::unique_ptr<WritableFile> openForAppending(const std::string& path) override;
    // True while any file object or holder has the file open.
    bool inUse(const std::string& path) override;

    // The per-file state the open files reach through; details of the fake.
    struct State;

private:
    // Shared with the open files, which may outlive the file system.
    std::shared_ptr<State> state_;
};

}  // namespace morvane::test
